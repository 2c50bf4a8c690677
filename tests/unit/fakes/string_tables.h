#pragma once

#include <cstring>
#include <map>
#include <string>

#include "fakes/fake_platform.h"

namespace fakes {

// Lays out string-table blocks the way the resource compiler does: sixteen counted strings.
inline void AddStrings(FakeResources& resources, std::uint16_t language,
                       const std::map<std::uint32_t, std::u16string>& strings) {
  std::map<std::uint16_t, std::map<unsigned, std::u16string>> blocks;
  for (const auto& [id, text] : strings) blocks[static_cast<std::uint16_t>(id / 16 + 1)][id % 16] = text;
  for (const auto& [block, entries] : blocks) {
    std::vector<std::byte> bytes;
    for (unsigned i = 0; i < 16; ++i) {
      auto it = entries.find(i);
      const std::u16string text = it == entries.end() ? u"" : it->second;
      const auto count = static_cast<std::uint16_t>(text.size());
      const std::size_t at = bytes.size();
      bytes.resize(at + 2 + text.size() * 2);
      std::memcpy(bytes.data() + at, &count, 2);
      std::memcpy(bytes.data() + at + 2, text.data(), text.size() * 2);
    }
    resources.stringBlocks[{block, language}].bytes = std::move(bytes);
  }
}

// English and German tables as the launcher ships them, enough for the flows under test.
inline void AddShippedStrings(FakeResources& resources) {
  AddStrings(resources, 1033,
             {{300, u"A problem prevented the Service Pack from being installed. Contact your system "
                    u"administrator. \n\n Error Code: %d"},
              {301, u"The service pack was successfully installed and %s has been updated."},
              {306, u"Your version of %s is up-to-date and this service pack is not necessary"},
              {307, u"The service pack could not be installed because the expected Brimfold product could "
                    u"not be located on your computer.\nMake sure that you are using the correct service "
                    u"pack for the product."},
              {308, u"This service pack could not be installed because it is not designed for the version "
                    u"of %s that is installed on your computer."},
              {309, u"The command line that you supplied is incorrect. Please check it for errors."},
              {310, u"You must supply a patch list with the command line to install this service pack "
                    u"installation."},
              {311, u"Installation Error"},
              {312, u"Installation Successful"},
              {313, u"Installation Unnecessary"},
              {700, u"8.2.0.4"},
              {900, u"8.0.24.6,8.1.0.3,"}});
  AddStrings(resources, 1031,
             {{300, u"DE-300 %d"},
              {301, u"DE-301 %s"},
              {306, u"DE-306 %s"},
              {307, u"DE-307"},
              {308, u"DE-308 %s"},
              {311, u"Installationsfehler"},
              {312, u"Installation erfolgreich"},
              {313, u"Installation nicht erforderlich"}});
}

}  // namespace fakes
