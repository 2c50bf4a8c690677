#pragma once

#include "platform/dialogs.h"
#include "platform/file_versions.h"
#include "platform/files.h"
#include "platform/installer.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/resources.h"

namespace platform {

// Everything the launcher's logic may ask of Windows.
struct Platform {
  Resources& resources;
  Files& files;
  Installer& installer;
  Dialogs& dialogs;
  Process& process;
  Registry& registry;
  FileVersions& fileVersions;
};

}  // namespace platform
