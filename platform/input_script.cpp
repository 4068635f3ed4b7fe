#include "platform/input_script.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace platform {
namespace {

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    size_t start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

bool number(std::string_view s, long long lo, long long hi, long long& out) {
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && p == s.data() + s.size() && out >= lo && out <= hi;
}

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool keyArg(std::string_view word, ScriptEvent& e) {
  std::string k = lower(word);
  static constexpr const char* kNames[] = {"up", "down", "left", "right", "z",
                                           "x",  "c",    "enter", "d",    "e"};
  for (const char* n : kNames)
    if (k == n) {
      e.keyName = k;
      return true;
    }
  if (k.size() >= 3 && k.size() <= 6 && k.compare(0, 2, "0x") == 0) {
    unsigned v = 0;
    auto [p, ec] = std::from_chars(k.data() + 2, k.data() + k.size(), v, 16);
    if (ec == std::errc() && p == k.data() + k.size() && v > 0 && v <= 0xFF) {
      e.code = static_cast<uint16_t>(v);
      return true;
    }
  }
  return false;
}

constexpr long long kMaxFrame = 100000000;
constexpr long long kMaxCoord = 32767;

}  // namespace

bool parseInputScript(std::string_view text, std::vector<ScriptEvent>& out, std::string& why) {
  out.clear();
  size_t lineNo = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    auto w = words(line);
    if (w.empty()) {
      if (end == text.size()) break;
      continue;
    }
    auto fail = [&](const std::string& reason) {
      why = "line " + std::to_string(lineNo) + ": " + reason;
      out.clear();
      return false;
    };
    long long frame;
    if (!number(w[0], 0, kMaxFrame, frame)) return fail("frame number expected");
    if (w.size() < 2) return fail("event expected after the frame number");
    std::string verb = lower(w[1]);
    auto f = static_cast<uint32_t>(frame);
    auto coords = [&](size_t first, size_t count, long long* v) {
      if (w.size() != first + count) return false;
      for (size_t i = 0; i < count; ++i)
        if (!number(w[first + i], 0, kMaxCoord, v[i])) return false;
      return true;
    };
    ScriptEvent e;
    e.frame = f;
    if (verb == "down" || verb == "up" || verb == "press") {
      if (w.size() != 3 || !keyArg(w[2], e)) return fail("unknown key");
      e.kind = verb == "up" ? ScriptEvent::Kind::KeyUp : ScriptEvent::Kind::KeyDown;
      out.push_back(e);
      if (verb == "press") {
        e.kind = ScriptEvent::Kind::KeyUp;
        e.frame = f + 1;
        out.push_back(e);
      }
    } else if (verb == "tap" || verb == "pendown" || verb == "penmove") {
      long long v[2];
      if (!coords(2, 2, v)) return fail("expected X Y");
      e.x = static_cast<int>(v[0]);
      e.y = static_cast<int>(v[1]);
      e.kind = verb == "penmove" ? ScriptEvent::Kind::PenMove : ScriptEvent::Kind::PenDown;
      out.push_back(e);
      if (verb == "tap") {
        e.kind = ScriptEvent::Kind::PenUp;
        e.frame = f + 1;
        out.push_back(e);
      }
    } else if (verb == "penup") {
      if (w.size() != 2) return fail("penup takes no arguments");
      e.kind = ScriptEvent::Kind::PenUp;
      out.push_back(e);
    } else if (verb == "drag") {
      long long v[5];
      if (!coords(2, 5, v) || v[4] < 1 || v[4] > 10000) return fail("expected X1 Y1 X2 Y2 N");
      auto n = static_cast<uint32_t>(v[4]);
      e.kind = ScriptEvent::Kind::PenDown;
      e.x = static_cast<int>(v[0]);
      e.y = static_cast<int>(v[1]);
      out.push_back(e);
      for (uint32_t i = 1; i <= n; ++i) {
        e.kind = i == n ? ScriptEvent::Kind::PenUp : ScriptEvent::Kind::PenMove;
        e.frame = f + i;
        e.x = static_cast<int>(v[0] + (v[2] - v[0]) * i / n);
        e.y = static_cast<int>(v[1] + (v[3] - v[1]) * i / n);
        // The release carries the end point: one move there first, then the lift.
        if (i == n) {
          ScriptEvent move = e;
          move.kind = ScriptEvent::Kind::PenMove;
          out.push_back(move);
        }
        out.push_back(e);
      }
    } else if (verb == "pad") {
      auto button = w.size() >= 3 ? padButtonFromName(w[2]) : std::nullopt;
      if (!button) return fail("unknown gamepad button");
      std::string how = w.size() == 4 ? lower(w[3]) : "";
      if (w.size() > 4 || (w.size() == 4 && how != "down" && how != "up"))
        return fail("expected pad BUTTON, pad BUTTON down or pad BUTTON up");
      e.pad = *button;
      e.kind = how == "up" ? ScriptEvent::Kind::PadUp : ScriptEvent::Kind::PadDown;
      out.push_back(e);
      if (how.empty()) {
        e.kind = ScriptEvent::Kind::PadUp;
        e.frame = f + 1;
        out.push_back(e);
      }
    } else if (verb == "close") {
      if (w.size() != 2) return fail("close takes no arguments");
      e.kind = ScriptEvent::Kind::Close;
      out.push_back(e);
    } else {
      return fail("unknown event '" + std::string(w[1]) + "'");
    }
    if (end == text.size()) break;
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const ScriptEvent& a, const ScriptEvent& b) { return a.frame < b.frame; });
  return true;
}

}  // namespace platform
