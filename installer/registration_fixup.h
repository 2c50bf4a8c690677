#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "installer/four_part_version.h"
#include "platform/platform.h"

namespace installer {

// True for "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hexadecimal digits.
bool IsBracedGuid(std::u16string_view code);

// The packed form under which the installer registers a product: each of the first three
// groups reversed, then the last sixteen digits with the two of each pair swapped. Letters
// keep their case. Nothing for a code that is not a braced GUID.
std::optional<std::u16string> PackProductCode(std::u16string_view productCode);

// The host product's key, "Software\Brimfold\Tessary\R16.0\Vorn-P:Q", P and Q the second to
// fourth digits of the code's second and third groups. Nothing for a code not a braced GUID.
std::optional<std::u16string> HostKeyPath(std::u16string_view productCode);

// Removes the stale "Transforms" value from the product's registration on the machine
// (HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Installer\Products\<packed code>, never the
// account's own Classes) when its main module on disk is at another version than the
// installer has registered. Done when nothing on the way to that decision is there, when the
// versions agree, or when the value or its key is gone; failed with the error of opening the
// key or deleting the value when Windows refuses either.
platform::Status FixUpRegistration(platform::Platform& platform, const std::u16string& productCode,
                                   const FourPartVersion& installedVersion);

}  // namespace installer
