#pragma once
// Members of the game's Update.pac, kept in archive order for the scenario step, which replaces
// a Script.pac member by a same-named update.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sorel {

struct UpdateNode {
  std::string name;
  std::vector<uint8_t> bytes;  ///< unpacked; emptied once the scenario step has used it
};

class UpdateList {
 public:
  /// Reads every member of "<gameFolder>\Update.pac" (a system path); nothing when the archive is
  /// absent. Returns the number of members taken; members that fail to unpack are skipped.
  size_t build(std::string_view gameFolder);
  /// Appends a node at the tail.
  void append(std::string name, std::vector<uint8_t> bytes);
  /// The first node, in archive order, whose name equals name under sameName; none if absent.
  UpdateNode* findUpdate(std::string_view name);
  size_t size() const { return m_nodes.size(); }

 private:
  std::vector<UpdateNode> m_nodes;
};

}  // namespace sorel
