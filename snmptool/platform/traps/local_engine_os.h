// The system's part of our engine's state file (local_engine_posix.cpp,
// local_engine_win32.cpp).
#pragma once

#include <string>

// $XDG_STATE_HOME/mibcli/engine, else ~/.local/state/mibcli/engine; on
// Windows %LOCALAPPDATA%\mibcli\engine. Empty when none of these is set.
std::string EngineStatePath();

// The file's text; empty when there is no file. False with `problem`.
bool ReadEngineState(const std::string& path, std::string& text, std::string& problem);
// Replaces the file (its folders made first), readable by its owner only.
bool WriteEngineState(const std::string& path, const std::string& text, std::string& problem);
