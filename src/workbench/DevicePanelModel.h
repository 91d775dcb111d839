#pragma once
// What the device panel shows, independent of any widget. Field names are the control
// names the window binds them to.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rdm/Uid.h"

namespace velquor::workbench {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kOlive{128, 128, 0};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kLime{0, 255, 0};
inline constexpr Rgb kMagenta{255, 0, 255};
inline constexpr Rgb kWhite{255, 255, 255};

// A drop-down list: its item texts and the chosen one (−1 none).
struct ChoiceList {
  std::vector<std::string> items;
  int itemIndex = -1;
  void Clear() {
    items.clear();
    itemIndex = -1;
  }
};

// A personality list also keeps the personality number each item stands for, so that an
// unanswered description cannot shift the numbers of the items after it.
struct PersonalityList : ChoiceList {
  std::vector<uint8_t> numbers;
  void Clear() {
    ChoiceList::Clear();
    numbers.clear();
  }
  void Add(uint8_t number, std::string text) {
    items.push_back(std::move(text));
    numbers.push_back(number);
  }
  // Chooses the item of personality `number`, if listed.
  void SelectNumber(uint8_t number);
  // The personality number of the chosen item, 0 when none.
  uint8_t SelectedNumber() const;
  // The number the chosen item stands for; a list without numbers falls back to the item
  // position.
  uint8_t ChosenNumber() const;
};

struct DevicePanelModel {
  std::string Edit1 = "VELQUOR";  // device label
  std::string Edit2 = "VELQUOR";  // manufacturer
  std::string Edit5 = "dummy";    // status text
  Rgb Edit5Colour = kLime;
  std::string Edit8 = "virtual";  // category
  std::string Edit9 = "1.1.0";    // software version
  std::string Edit10 = "0";       // footprint
  std::string EditAddr = "1";     // start address
  int UpDown1 = 1;                // position of the address arrows
  std::string Edit33;             // device hours
  std::string Edit34;             // lamp hours
  bool CheckBox1 = false;         // pan invert
  bool CheckBox2 = false;         // tilt invert
  bool CheckBox3 = false;         // pan/tilt swap
  PersonalityList ComboBoxMode;
  PersonalityList ComboBoxChannelMode;
  ChoiceList ComboBoxID;     // supported parameters
  std::string Edit35 = "1";  // selected row number
  Rgb Edit35Colour = kWhite;
  std::string EditEnd;      // batch addressing: last fixture
  ChoiceList ComboBox_UID;  // hidden list of UIDs
  bool SpeedButtonRdmWriteEnabled = true;
  // The device whose values the panel holds: set by a Read that got answers, cleared when
  // another Read begins. A Write goes to this device only.
  std::optional<rdm::Uid> readFrom;
};

// "Panel: 0x7FF000000102" (LabelPanelDevice); empty while the panel holds no device's values.
std::string PanelDeviceText(const DevicePanelModel& panel, bool chinese);

}  // namespace velquor::workbench
