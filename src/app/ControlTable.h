#pragma once
// The controls of both windows: object name, kind, page, place and designed caption.

#include <span>

namespace velquor::app {

struct ControlSpec {
  int page;  // 0 = the window itself, 1..8 = TabSheet1..TabSheet8
  const char* kind;
  const char* name;
  int x, y, w, h;
  const char* caption;  // designed caption (captioned kinds only)
  const char* items;    // "|"-separated items of lists
  const char* flags;    // h hidden, d disabled, r read-only
  const char* text;     // designed text of edits and memos
};

#include "app/ControlTable.inc"

// Kinds that carry a caption (the language files may set it).
bool HasCaption(const char* kind);
// The designed place and text of the control named `name` (empty when there is none).
const ControlSpec* FindControl(std::span<const ControlSpec> table, const char* name);
const char* DesignedText(std::span<const ControlSpec> table, const char* name);

}  // namespace velquor::app
