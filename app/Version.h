#pragma once
// The project's version ("1.0.0"), the one the build names; every program's --version prints it.
namespace vintrel {

const char* ProjectVersion();

} // namespace vintrel
