#pragma once
// The configuration file: one "label = value" line per setting, the label
// holding a keyword between asterisks. Read once at start-up, written once at close.
#include "app/AppSettings.h"
#include "stream/MessageSink.h"
#include "stream/StreamFormat.h"
#include "stream/TagModel.h"

#include <string>

namespace vintrel {

constexpr const char* kAppTitle = "VintrelV5.27k";

// Reads the file into `s`. A line without a known keyword, or with a value that does not convert,
// is reported on the status line and skipped; reading goes on with the next line. Returns false
// when the file cannot be opened (the settings stay as they were).
bool Tune(const std::string& path, AppSettings& s, MessageSink* sink);

// Writes all settings; false with the reason when the file cannot be written completely.
bool SaveSettings(const std::string& path, const AppSettings& s, std::string& error);

// The data stream format that the rate and frame duration select (after Tune made them consistent).
DataStreamFormat FormatOf(const AppSettings& s);
void SetFormat(AppSettings& s, DataStreamFormat f);

// The stored names to the five chart tags and their selection lists; the default tags when empty.
void SetTagsFromSettingsFile(TagModel& tags, const std::string& names);
// The five lists' texts as the "*selected*" line stores them.
std::string SelectedNamesOf(const TagModel& tags);

} // namespace vintrel
