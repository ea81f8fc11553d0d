// The program's windows: their numbers, their control numbers and the table
// of their descriptions.
#pragma once

#include <span>

#include "ui/Description.h"

struct LoginWindow {
  static constexpr WindowNumber number = 1375797249;
  static constexpr ControlNumber self = 100728832;
  static constexpr ControlNumber 客户1 = 369164304;
  static constexpr ControlNumber 图片框1 = 369164290;
  static constexpr ControlNumber 图片框2 = 369164291;
  static constexpr ControlNumber 图片框3 = 369164292;
  static constexpr ControlNumber 连接状态标签 = 369164293;
  static constexpr ControlNumber 登录按钮 = 369164294;
  static constexpr ControlNumber 标签2 = 369164295;
  static constexpr ControlNumber 考生号输入框 = 369164296;
  static constexpr ControlNumber 标签3 = 369164297;
  static constexpr ControlNumber 身份证号输入框 = 369164299;
};

struct ConfirmWindow {
  static constexpr WindowNumber number = 1375797263;
  static constexpr ControlNumber self = 100728846;
  static constexpr ControlNumber 图片框1 = 369164305;
  static constexpr ControlNumber 图片框2 = 369164306;
  static constexpr ControlNumber 图片框3 = 369164308;
  static constexpr ControlNumber 标签1 = 369164314;
  static constexpr ControlNumber 标签2 = 369164315;
  static constexpr ControlNumber 考生姓名标签 = 369164317;
  static constexpr ControlNumber 标签4 = 369164318;
  static constexpr ControlNumber 考生号标签 = 369164319;
  static constexpr ControlNumber 标签6 = 369164320;
  static constexpr ControlNumber 身份证号标签 = 369164321;
  static constexpr ControlNumber 考生照片标签 = 369164316;
  static constexpr ControlNumber 按钮1 = 369164322;
  static constexpr ControlNumber 按钮2 = 369164323;
  static constexpr ControlNumber 开始考试按钮 = 369164324;
};

struct ExamWindow {
  static constexpr WindowNumber number = 1375797301;
  static constexpr ControlNumber self = 100728884;
};

extern const WindowDescription kLoginWindowDescription;
extern const WindowDescription kConfirmWindowDescription;
extern const WindowDescription kExamWindowDescription;

// Every window of the program, in the order of the table.
std::span<const WindowDescription* const> ProgramWindowTable();
