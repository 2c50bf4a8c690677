#include "fakes/fake_machine.h"

#include "fakes/string_tables.h"
#include "launcher/launcher.h"

namespace fakes {

void FakeMachine::ShipLauncher(std::string_view package) {
  fake.files.nodes[u"C:\\Temp\\"] = FakeNode{.directory = true};
  fake.resources.AddPackage(Bytes(package));
  AddShippedStrings(fake.resources);
}

void FakeMachine::Targets(const std::u16string& list, const std::u16string& packagePath) {
  fake.installer.templates[packagePath] = list;
}

void FakeMachine::AddProduct(const std::u16string& code, const std::u16string& name,
                             const std::u16string& language, const std::u16string& version,
                             std::uint32_t configureResult, std::int32_t productState) {
  FakeInstaller::Product& product = fake.installer.products[code];
  product.state = productState;
  product.info = {{u"ProductName", name}, {u"Language", language}, {u"VersionString", version}};
  product.configureResult = configureResult;
}

std::uint32_t FakeMachine::RunWith(std::vector<std::u16string> arguments) {
  arguments.insert(arguments.begin(), u"launcher.exe");
  fake.process.arguments = arguments;
  return launcher::RunLauncher(context);
}

std::vector<std::u16string> FakeMachine::Texts() const {
  std::vector<std::u16string> texts;
  for (const ShownBox& box : fake.dialogs.shown) texts.push_back(box.text);
  return texts;
}

}  // namespace fakes
