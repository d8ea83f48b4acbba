// vintrel-sim: a simulated target serving its frame stream over TCP, a pseudo-terminal or a file.
#include <cstdio>
#include <string>
#include <vector>

#include "app/Version.h"
#include "connection/StopSignal.h"
#include "sim/FileServe.h"
#include "sim/PtyServe.h"
#include "sim/SimOptions.h"
#include "sim/TcpServe.h"

using namespace vintrel::sim;

int main(int argc, char** argv) {
    const SimOptionsResult parsed = ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.Ok()) {
        std::fprintf(stderr, "vintrel-sim: %s\n", parsed.error.c_str());
        return 2;
    }
    const SimOptions& o = parsed.options;
    if (o.help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    if (o.version) {
        std::printf("vintrel-sim %s\n", vintrel::ProjectVersion());
        return 0;
    }
    // Every wait of the serving loops looks at the flag; their waits are short or end with EINTR.
    vintrel::InstallStopHandlers(vintrel::InterruptedCalls::Fail);
    switch (o.outputKind) {
    case OutputKind::Listen:
        return ServeTcp(o);
    case OutputKind::Pty:
        return ServePty(o);
    case OutputKind::File:
        break;
    }
    return ServeFile(o);
}
