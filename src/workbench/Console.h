#pragma once
// What the raw RDM console and the radio page show, independent of any widget.

#include <cstdint>
#include <string>
#include <vector>

namespace velquor::workbench {

struct ConsoleModel {
  int command = 0;     // 0 GET, 1 SET, 2 DISCOVERY
  int parameter = 26;  // index into the known parameters; a Read moves it
  int subDevice = 0;   // 0..15
  std::string dataText = "1";
  std::vector<std::string> data;  // the entries as typed: hex bytes or "text" each
  bool broadcast = false;
  std::vector<std::string> history;  // the requests sent, as hex lines
  int radioChannel = 0;              // radio page: item n = channel n + 1
};

}  // namespace velquor::workbench
