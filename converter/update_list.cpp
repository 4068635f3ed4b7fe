#include "converter/update_list.h"

#include "converter/pac_archive.h"
#include "engine/resources/sjis_text.h"
#include "platform/files.h"

namespace sorel {

size_t UpdateList::build(std::string_view gameFolder) {
  std::string folder(untilNul(gameFolder));
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  std::string path = folder + "Update.pac";
  if (!platform::fileExists(path)) return 0;
  PacArchive pac;
  if (!pac.open(path)) return 0;
  size_t taken = 0;
  for (size_t i = 0; i < pac.memberCount(); ++i) {
    if (auto bytes = pac.readMember(i)) {
      append(pac.entry(i).name, std::move(*bytes));
      ++taken;
    }
  }
  return taken;
}

void UpdateList::append(std::string name, std::vector<uint8_t> bytes) {
  m_nodes.push_back({std::move(name), std::move(bytes)});
}

UpdateNode* UpdateList::findUpdate(std::string_view name) {
  for (UpdateNode& n : m_nodes)
    if (sameName(n.name, name)) return &n;
  return nullptr;
}

}  // namespace sorel
