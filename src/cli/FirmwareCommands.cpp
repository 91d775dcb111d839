// velquor-cli firmware merge: the IAP page's merge tool, with no box and no window.

#include <fmt/format.h>

#include <filesystem>
#include <ostream>

#include "cli/CliSession.h"
#include "common/Files.h"
#include "link/FirmwareImages.h"

namespace velquor::cli {

int RunFirmwareMerge(const std::vector<std::string>& images, const std::string& output, bool force,
                     std::ostream& out, std::ostream& err) {
  for (const std::string& image : images) {
    std::error_code ec;
    if (image == output || std::filesystem::equivalent(image, output, ec)) {
      err << output << " is also an input: choose another output file\n";
      return kExitUsage;
    }
  }
  if (!force && common::PathExists(output)) {
    err << output << " exists: add --force to replace it\n";
    return kExitUsage;
  }
  link::FirmwareImageStore store;
  const std::vector<std::string> lines = link::LoadFirmwareFiles(store, images, " files.");
  for (const std::string& line : lines) out << line << "\n";
  if (store.Count() != images.size()) return kExitUsage;  // more than five: nothing loaded
  for (size_t i = 0; i < images.size(); ++i) {
    if (store.Size(i) == 0) {
      err << images[i] << " gives no image (not loaded, see above, or fewer than 4 bytes): "
          << "nothing written\n";
      return common::FileExists(images[i]) ? kExitUsage : kExitFileError;
    }
  }
  if (const std::string problem = link::MergeProblem(store); !problem.empty()) {
    err << "Nothing written: " << problem << "\n";
    return kExitUsage;
  }
  std::string error;
  const auto written = link::SaveMergedFirmware(store, output, error);
  if (!written) {
    err << "Unable to write " << output << ": " << error << "\n";
    return kExitFileError;
  }
  out << fmt::format("{}: {} bytes (the application at offset {})\n", output, *written,
                     std::max(store.Size(0), link::FirmwareImageStore::kBootLoaderBytes));
  return kExitOk;
}

}  // namespace velquor::cli
