#pragma once
// What the device panel shows, independent of any widget.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rdm/Uid.h"
#include "workbench/Slots.h"

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

// The device panel: a snapshot of one fixture, the UID it was read from and that fixture's
// values as the panel shows them (the user edits some of them before a Write).
struct DevicePanelModel {
  std::optional<rdm::Uid> device;  // LabelPanelDevice; Write goes to this UID and no other
  // Empty until a fixture is read: nothing shown may pass for a fixture's answer.
  std::string label;  // Edit1
  std::string manufacturer;
  std::string status;
  Rgb statusColour = kWhite;
  std::string category;
  std::string software;
  std::string footprint;
  std::string address;    // EditAddr, as typed
  int addressArrows = 1;  // UpDown1
  std::string deviceHours;
  std::string lampHours;
  bool panInvert = false;
  bool tiltInvert = false;
  bool panTiltSwap = false;
  PersonalityList personalities;   // ComboBoxMode
  ChoiceList supportedParameters;  // ComboBoxID
  // What each channel does: start, personality and footprint from the Read, the slots only
  // once asked for (ReadChannels), since a 22-channel head takes 24 more exchanges.
  ChannelLayout channels;
  std::optional<std::vector<uint16_t>> supportedPids;  // as the fixture listed them at the Read
                                                       // (the Sensors view and Channels… ask)
  bool writeEnabled = true;
};

// "Panel: 0x7FF000000102" (LabelPanelDevice); empty while the panel holds no device's values.
std::string PanelDeviceText(const DevicePanelModel& panel, bool chinese);

}  // namespace velquor::workbench
