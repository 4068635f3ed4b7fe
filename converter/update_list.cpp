#include "converter/update_list.h"

#include "converter/pac_archive.h"
#include "engine/resources/sjis_text.h"
#include "platform/files.h"

namespace sorel {

size_t UpdateList::build(std::string_view gameFolder, std::vector<UpdateProblem>* problems) {
  std::string path = withBackslash(gameFolder) + "Update.pac";
  if (!platform::fileExists(path)) return 0;
  PacArchive pac;
  if (!pac.open(path)) {
    if (problems) problems->push_back({{}, "not a readable archive"});
    return 0;
  }
  size_t taken = 0;
  for (size_t i = 0; i < pac.memberCount(); ++i) {
    PacError err = PacError::None;
    if (auto bytes = pac.readMember(i, &err)) {
      append(pac.entry(i).name, std::move(*bytes));
      ++taken;
    } else if (problems) {
      problems->push_back({pac.entry(i).name, std::string("cannot be unpacked: ") + pacErrorText(err)});
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
