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
  std::vector<uint8_t> bytes;  ///< unpacked
};

/// An update that could not be taken: the member's name (empty: the whole archive) and why.
struct UpdateProblem {
  std::string member;  ///< CP932
  std::string reason;
};

class UpdateList {
 public:
  /// Reads every member of "<gameFolder>\Update.pac" (a system path); nothing when the archive is
  /// absent. Returns the number of members taken. A member that cannot be unpacked, or an archive
  /// that cannot be read, is not taken and is named in problems (when given).
  size_t build(std::string_view gameFolder, std::vector<UpdateProblem>* problems = nullptr);
  /// Appends a node at the tail.
  void append(std::string name, std::vector<uint8_t> bytes);
  /// The first node, in archive order, whose name equals name under sameName; none if absent.
  UpdateNode* findUpdate(std::string_view name);
  size_t size() const { return m_nodes.size(); }
  /// Frees every node once the scenario step is done with them.
  void release() { m_nodes.clear(); }

 private:
  std::vector<UpdateNode> m_nodes;
};

}  // namespace sorel
