#pragma once
// What the raw RDM console and the radio page show, independent of any widget.

#include <cstdint>
#include <string>
#include <vector>

namespace velquor::workbench {

struct ConsoleModel {
  int ComboBoxCommand = 0;     // 0 GET, 1 SET, 2 DISCOVERY
  int ComboBoxParameter = 26;  // index into the known parameters
  int ComboBoxSubdevice = 0;   // 0..15
  std::string EditRdmData = "1";
  std::vector<std::string> Data;  // ValueListEditorRDM: entry k holds byte k as typed
  bool CheckBoxRdmAll = false;
  std::vector<std::string> History;  // ListBox_RDM
  int ComboBoxRdmCh = 0;             // radio page: item n = channel n + 1
};

}  // namespace velquor::workbench
