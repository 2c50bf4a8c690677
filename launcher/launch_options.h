#pragma once

#include <string>

namespace launcher {

// What the command line asked for; set once before anything else runs.
struct LaunchOptions {
  bool quiet = false;
  bool runPatchFlow = false;
  bool extractRequested = false;
  std::u16string extractPath;
  bool patchListRequested = false;
  std::u16string patchListPath;
  bool listProductsRequested = false;
  // "/norestart": the installer is told never to restart the machine itself. Changes no mode.
  bool noRestart = false;
  // "/?": a box lists the switches; nothing else runs.
  bool helpRequested = false;
  // "/l": where each outcome is logged; empty for no log. Changes no mode.
  std::u16string logPath;

  friend bool operator==(const LaunchOptions&, const LaunchOptions&) = default;
};

}  // namespace launcher
