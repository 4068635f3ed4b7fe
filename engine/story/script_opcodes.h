#pragma once
// The scenario byte code's instruction set: every opcode the interpreter executes, with the name
// the text form of a script uses for it. The interpreter, the assembler and the disassembler all
// read this one table, so a name means the same instruction everywhere.
//
// Several commands exist under two or three opcodes that do the same thing (1046 and 1047 both
// fade from black, ...). The first opcode carries the plain name; the others carry the plain
// name followed by their number ("FADE_FROM_BLACK_1047"), so a script keeps exactly the opcode
// it was written with.
#include <cstdint>
#include <span>
#include <string_view>

namespace sorel {

/// Size of one instruction: a u16 opcode and a u32 operand. PUSH_STRING is followed by as many
/// bytes of string data as its operand says.
constexpr uint32_t kInstructionSize = 6;
/// Bytes at the start of a script file that the engine does not read.
constexpr uint32_t kScriptHeaderSize = 8;
/// Offset of the label count N; the N + 1 table entries follow it, then the code area.
constexpr uint32_t kScriptLabelCountOffset = 8;
/// The engine's label table has room for this many entries (N + 1).
constexpr uint32_t kScriptMaxTableEntries = 512;

enum class OpKind : uint8_t { Stack, Command };

struct OpcodeInfo {
  uint16_t code;
  std::string_view name;
  OpKind kind;
  /// The plain name of the command this opcode is an alias of (the name itself for the first).
  std::string_view base;
};

namespace op {
// Stack instructions.
constexpr uint16_t kPushInt = 2;
constexpr uint16_t kJump = 5;
constexpr uint16_t kJumpUnlessEqual = 6;
constexpr uint16_t kClearStack = 8;
constexpr uint16_t kPushString = 11;
constexpr uint16_t kPushInt2 = 12;
constexpr uint16_t kPushSelector = 21;
constexpr uint16_t kPushNotBelowPrevious = 29;
constexpr uint16_t kPushSelectedIfAtLeast = 30;
constexpr uint16_t kPushSelectedValue = 31;
constexpr uint16_t kPushSelectorIfAllSet = 32;
constexpr uint16_t kPushSelectorOrZero = 33;
// Commands (the first opcode of each; aliases are in the table below).
constexpr uint16_t kStaffrollEnd = 1024;
constexpr uint16_t kStaffrollBegin = 1025;
constexpr uint16_t kSetString = 1026;
constexpr uint16_t kChoiceBegin = 1027;
constexpr uint16_t kChoiceAdd = 1028;
constexpr uint16_t kChoiceRun = 1029;
constexpr uint16_t kEyecatch = 1030;
constexpr uint16_t kSet = 1039;
constexpr uint16_t kSetSelector = 1040;
constexpr uint16_t kSetSystemValue = 1041;
constexpr uint16_t kSetSceneFlag = 1043;
constexpr uint16_t kVisualShow = 1044;
constexpr uint16_t kVisualHide = 1045;
constexpr uint16_t kFadeFromBlack = 1046;
constexpr uint16_t kFadeToBlack = 1048;
constexpr uint16_t kFlash = 1050;
constexpr uint16_t kFadeToWhite = 1052;
constexpr uint16_t kDimOff = 1054;
constexpr uint16_t kDimOn = 1056;
constexpr uint16_t kVisualTransition = 1058;
constexpr uint16_t kSceneTransition = 1060;
constexpr uint16_t kShakeVertical = 1068;
constexpr uint16_t kShakeHorizontal = 1069;
constexpr uint16_t kStandSet = 1070;
constexpr uint16_t kStandShow = 1073;
constexpr uint16_t kStandHide = 1075;
constexpr uint16_t kWindowShow = 1077;
constexpr uint16_t kWindowHide = 1078;
constexpr uint16_t kMessage = 1079;
constexpr uint16_t kMessageNowait = 1080;
constexpr uint16_t kMessageAuto = 1081;
constexpr uint16_t kWaitVoice = 1083;
constexpr uint16_t kWait = 1084;
constexpr uint16_t kYield = 1085;
constexpr uint16_t kWaitClick = 1087;
constexpr uint16_t kNop = 1088;
constexpr uint16_t kJumpFile = 1089;
constexpr uint16_t kJumpLabel = 1090;
constexpr uint16_t kSePlay6 = 1091;
constexpr uint16_t kSePlay7 = 1092;
constexpr uint16_t kLoopSePlay4 = 1093;
constexpr uint16_t kLoopSePlay5 = 1094;
constexpr uint16_t kLoopSeStop4 = 1095;
constexpr uint16_t kLoopSeStop5 = 1096;
constexpr uint16_t kWaitSe6 = 1097;
constexpr uint16_t kWaitSe7 = 1098;
constexpr uint16_t kBgmPlay = 1099;
constexpr uint16_t kBgmPlayT2 = 1101;
constexpr uint16_t kBgmPlayFade = 1102;
constexpr uint16_t kBgmFadeOut = 1103;
constexpr uint16_t kBgmFadeOutWait = 1104;
constexpr uint16_t kAnimShow = 1106;
constexpr uint16_t kAnimHide = 1107;
}  // namespace op

/// Every opcode of the instruction set, in opcode order. Anything else stops the story where it
/// stands (the interpreter retries it every frame).
inline constexpr OpcodeInfo kOpcodes[] = {
    {2, "PUSH_INT", OpKind::Stack, "PUSH_INT"},
    {5, "JUMP", OpKind::Stack, "JUMP"},
    {6, "JUMP_UNLESS_EQUAL", OpKind::Stack, "JUMP_UNLESS_EQUAL"},
    {8, "CLEAR_STACK", OpKind::Stack, "CLEAR_STACK"},
    {11, "PUSH_STRING", OpKind::Stack, "PUSH_STRING"},
    {12, "PUSH_INT2", OpKind::Stack, "PUSH_INT2"},
    {21, "PUSH_SELECTOR", OpKind::Stack, "PUSH_SELECTOR"},
    {29, "PUSH_NOT_BELOW_PREVIOUS", OpKind::Stack, "PUSH_NOT_BELOW_PREVIOUS"},
    {30, "PUSH_SELECTED_IF_AT_LEAST", OpKind::Stack, "PUSH_SELECTED_IF_AT_LEAST"},
    {31, "PUSH_SELECTED_VALUE", OpKind::Stack, "PUSH_SELECTED_VALUE"},
    {32, "PUSH_SELECTOR_IF_ALL_SET", OpKind::Stack, "PUSH_SELECTOR_IF_ALL_SET"},
    {33, "PUSH_SELECTOR_OR_ZERO", OpKind::Stack, "PUSH_SELECTOR_OR_ZERO"},
    {1024, "STAFFROLL_END", OpKind::Command, "STAFFROLL_END"},
    {1025, "STAFFROLL_BEGIN", OpKind::Command, "STAFFROLL_BEGIN"},
    {1026, "SET_STRING", OpKind::Command, "SET_STRING"},
    {1027, "CHOICE_BEGIN", OpKind::Command, "CHOICE_BEGIN"},
    {1028, "CHOICE_ADD", OpKind::Command, "CHOICE_ADD"},
    {1029, "CHOICE_RUN", OpKind::Command, "CHOICE_RUN"},
    {1030, "EYECATCH", OpKind::Command, "EYECATCH"},
    {1039, "SET", OpKind::Command, "SET"},
    {1040, "SET_SELECTOR", OpKind::Command, "SET_SELECTOR"},
    {1041, "SET_SYSTEM_VALUE", OpKind::Command, "SET_SYSTEM_VALUE"},
    {1043, "SET_SCENE_FLAG", OpKind::Command, "SET_SCENE_FLAG"},
    {1044, "VISUAL_SHOW", OpKind::Command, "VISUAL_SHOW"},
    {1045, "VISUAL_HIDE", OpKind::Command, "VISUAL_HIDE"},
    {1046, "FADE_FROM_BLACK", OpKind::Command, "FADE_FROM_BLACK"},
    {1047, "FADE_FROM_BLACK_1047", OpKind::Command, "FADE_FROM_BLACK"},
    {1048, "FADE_TO_BLACK", OpKind::Command, "FADE_TO_BLACK"},
    {1049, "FADE_TO_BLACK_1049", OpKind::Command, "FADE_TO_BLACK"},
    {1050, "FLASH", OpKind::Command, "FLASH"},
    {1051, "FLASH_1051", OpKind::Command, "FLASH"},
    {1052, "FADE_TO_WHITE", OpKind::Command, "FADE_TO_WHITE"},
    {1053, "FADE_TO_WHITE_1053", OpKind::Command, "FADE_TO_WHITE"},
    {1054, "DIM_OFF", OpKind::Command, "DIM_OFF"},
    {1056, "DIM_ON", OpKind::Command, "DIM_ON"},
    {1058, "VISUAL_TRANSITION", OpKind::Command, "VISUAL_TRANSITION"},
    {1059, "VISUAL_TRANSITION_1059", OpKind::Command, "VISUAL_TRANSITION"},
    {1060, "SCENE_TRANSITION", OpKind::Command, "SCENE_TRANSITION"},
    {1062, "SCENE_TRANSITION_1062", OpKind::Command, "SCENE_TRANSITION"},
    {1063, "SCENE_TRANSITION_1063", OpKind::Command, "SCENE_TRANSITION"},
    {1068, "SHAKE_VERTICAL", OpKind::Command, "SHAKE_VERTICAL"},
    {1069, "SHAKE_HORIZONTAL", OpKind::Command, "SHAKE_HORIZONTAL"},
    {1070, "STAND_SET", OpKind::Command, "STAND_SET"},
    {1071, "STAND_SET_1071", OpKind::Command, "STAND_SET"},
    {1072, "STAND_SET_1072", OpKind::Command, "STAND_SET"},
    {1073, "STAND_SHOW", OpKind::Command, "STAND_SHOW"},
    {1074, "STAND_SHOW_1074", OpKind::Command, "STAND_SHOW"},
    {1075, "STAND_HIDE", OpKind::Command, "STAND_HIDE"},
    {1076, "STAND_HIDE_1076", OpKind::Command, "STAND_HIDE"},
    {1077, "WINDOW_SHOW", OpKind::Command, "WINDOW_SHOW"},
    {1078, "WINDOW_HIDE", OpKind::Command, "WINDOW_HIDE"},
    {1079, "MESSAGE", OpKind::Command, "MESSAGE"},
    {1080, "MESSAGE_NOWAIT", OpKind::Command, "MESSAGE_NOWAIT"},
    {1081, "MESSAGE_AUTO", OpKind::Command, "MESSAGE_AUTO"},
    {1082, "MESSAGE_NOWAIT_1082", OpKind::Command, "MESSAGE_NOWAIT"},
    {1083, "WAIT_VOICE", OpKind::Command, "WAIT_VOICE"},
    {1084, "WAIT", OpKind::Command, "WAIT"},
    {1085, "YIELD", OpKind::Command, "YIELD"},
    {1087, "WAIT_CLICK", OpKind::Command, "WAIT_CLICK"},
    {1088, "NOP", OpKind::Command, "NOP"},
    {1089, "JUMP_FILE", OpKind::Command, "JUMP_FILE"},
    {1090, "JUMP_LABEL", OpKind::Command, "JUMP_LABEL"},
    {1091, "SE_PLAY_6", OpKind::Command, "SE_PLAY_6"},
    {1092, "SE_PLAY_7", OpKind::Command, "SE_PLAY_7"},
    {1093, "LOOP_SE_PLAY_4", OpKind::Command, "LOOP_SE_PLAY_4"},
    {1094, "LOOP_SE_PLAY_5", OpKind::Command, "LOOP_SE_PLAY_5"},
    {1095, "LOOP_SE_STOP_4", OpKind::Command, "LOOP_SE_STOP_4"},
    {1096, "LOOP_SE_STOP_5", OpKind::Command, "LOOP_SE_STOP_5"},
    {1097, "WAIT_SE_6", OpKind::Command, "WAIT_SE_6"},
    {1098, "WAIT_SE_7", OpKind::Command, "WAIT_SE_7"},
    {1099, "BGM_PLAY", OpKind::Command, "BGM_PLAY"},
    {1100, "BGM_PLAY_1100", OpKind::Command, "BGM_PLAY"},
    {1101, "BGM_PLAY_T2", OpKind::Command, "BGM_PLAY_T2"},
    {1102, "BGM_PLAY_FADE", OpKind::Command, "BGM_PLAY_FADE"},
    {1103, "BGM_FADE_OUT", OpKind::Command, "BGM_FADE_OUT"},
    {1104, "BGM_FADE_OUT_WAIT", OpKind::Command, "BGM_FADE_OUT_WAIT"},
    {1106, "ANIM_SHOW", OpKind::Command, "ANIM_SHOW"},
    {1107, "ANIM_HIDE", OpKind::Command, "ANIM_HIDE"},
};

/// The whole instruction set, for walking it (tests, coverage checks).
constexpr std::span<const OpcodeInfo> allOpcodes() { return kOpcodes; }

/// The table entry of an opcode, or nullptr when the opcode is outside the instruction set.
constexpr const OpcodeInfo* findOpcode(uint16_t code) {
  for (const OpcodeInfo& o : kOpcodes)
    if (o.code == code) return &o;
  return nullptr;
}

/// The table entry of a name (exact, upper case as in the table), or nullptr.
constexpr const OpcodeInfo* findOpcodeByName(std::string_view name) {
  for (const OpcodeInfo& o : kOpcodes)
    if (o.name == name) return &o;
  return nullptr;
}

/// True for the condition pushes, which push a value computed from the variables and flags.
constexpr bool isConditionPush(uint16_t code) { return code == op::kPushSelector || (code >= 29 && code <= 33); }

/// True when the opcode's operand is a code offset in the same script (the two jumps).
constexpr bool isJump(uint16_t code) { return code == op::kJump || code == op::kJumpUnlessEqual; }

}  // namespace sorel
