// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "archive/Archive.h"
#include "history/Export.h"
#include "history/HistoryTool.h"
#include "settings/SettingsStore.h"

namespace tavrolin {

// The commands of tavrolin-history on an open archive, as the command line gives them (see
// HistoryUsage). Each returns the program's exit status and says what went wrong on err.

enum class Command { None, Sensors, Export, Check, Import, Report, Records, Backup, Restore };

struct HistoryOptions {
    Command command = Command::None;
    std::string archive;
    std::string profile;
    std::string sensor;
    std::string from, to;
    ExportFormat format = ExportFormat::Csv;
    std::string formatText;   // as given: text, csv or json (report and records know text)
    std::string month, year;  // report: --month JJJJ-MM or --year JJJJ
    std::string importFile;   // empty or "-": stdin
    std::string target;       // backup: the folder or file of the copy; restore: the copy
    std::optional<int> keep;  // backup: how many dated copies stay
    bool help = false;
    bool version = false;
};

// "tavrolin-history: text" on err.
void Say(std::FILE* err, const std::string& text);

int ListSensorsCommand(Archive& archive, const SettingsStore& settings,
                       const HistoryEnvironment& env);
int ExportCommand(Archive& archive, const HistoryOptions& o, const SettingsStore& settings,
                  const HistoryEnvironment& env);
int CheckCommand(Archive& archive, const HistoryEnvironment& env);
int ReportCommand(Archive& archive, const HistoryOptions& o, const SettingsStore& settings,
                  const HistoryEnvironment& env);
int RecordsCommand(Archive& archive, const HistoryOptions& o, const SettingsStore& settings,
                   const HistoryEnvironment& env);
int ImportCommand(Archive& archive, const HistoryOptions& o, const HistoryEnvironment& env);
int BackupCommand(Archive& archive, const HistoryOptions& o, const SettingsStore& settings,
                  const HistoryEnvironment& env);
// On the archive's path, which it must not hold open itself.
int RestoreCommand(const std::string& path, const HistoryOptions& o, const HistoryEnvironment& env);

}  // namespace tavrolin
