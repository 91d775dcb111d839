// velquor-cli: the controller's core from a terminal, on the box or the virtual line.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "cli/CliSession.h"

namespace {
std::atomic<bool> interrupted{false};  // Ctrl+C ends a playing sequence

// --seconds: a number of seconds a tick can count, at least one tick and at most a week.
const CLI::Validator kSeconds(
    [](std::string& text) -> std::string {
      char* end = nullptr;
      const double v = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end != '\0' || !(v >= velquor::cli::kMinSeconds) ||
          !(v <= velquor::cli::kMaxSeconds)) {
        return "a time from 0.04 to 604800 seconds, not \"" + text + "\"";
      }
      return {};
    },
    "SECONDS");
}  // namespace

int main(int argc, char** argv) {
  using namespace velquor;
  CLI::App app{"Velquor Pro command line: RDM over the USB interface box or the virtual line"};
  app.require_subcommand(1);
  app.fallthrough();  // -q, --json and the rest may also follow the subcommand
  app.set_version_flag("--version", "velquor-cli 2.0.1");
  app.footer(std::string(cli::kExitCodesText) +
             "\nUIDs: MMMM:DDDDDDDD or twelve hex digits, 0x optional (7FF0:00000101, "
             "7FF000000101); printed as the window shows them (0x7FF000000101).");

  cli::SessionOptions options;
  auto* virtualOption =
      app.add_option("--virtual-line", options.rigFile,
                     "Use the simulated RDM line instead of the box; optionally a rig file")
          ->expected(0, 1);
  app.add_option("--speed", options.speedIndex,
                 "Response time-out item: 0..5 = 40..90 ms (default 1 = 50 ms)")
      ->check(CLI::Range(0, 5));
  bool quiet = false;
  app.add_flag("-q,--quiet", quiet, "Print only the summary, not the log lines");
  app.add_flag(
      "--json", options.json,
      "Print one JSON document (list, read, discover, raw, batch-address, plan); log lines "
      "are left out");

  cli::RawCommand raw;
  auto* rawCmd = app.add_subcommand("raw", "Send one RDM request and print the exchange");
  rawCmd->add_option("class", raw.commandClass, "get, set, discovery, or a number")->required();
  rawCmd->add_option("pid", raw.pid, "Parameter name (DEVICE_INFO) or number (0x0060)")->required();
  rawCmd->add_option("data", raw.data, "Parameter data bytes in hex (01 02 or 0102)");
  auto* uidOption = rawCmd->add_option("--uid", raw.uid, "Destination UID, e.g. 7FF0:00000101");
  auto* broadcastFlag =
      rawCmd->add_flag("--broadcast,--all", raw.broadcast, "Send to every device");
  uidOption->excludes(broadcastFlag);
  rawCmd->add_option("--sub", raw.subDevice, "Sub-device (default 0, the root device)");

  auto* rigCmd = app.add_subcommand("rig", "List the fixtures of the virtual line");

  bool incremental = false;
  auto* discoverCmd =
      app.add_subcommand("discover", "Find the devices on the line and save them to devnames.lst");
  discoverCmd->add_flag("--incremental", incremental, "Only add devices not yet found");

  cli::BatchCommand batch;
  auto* batchCmd = app.add_subcommand("batch-address",
                                      "Evenly spaced start addresses for a run of listed fixtures");
  batchCmd->add_option("--start-address", batch.startAddress, "Address of the first fixture")
      ->required();
  batchCmd->add_option("--inc", batch.increment, "Slots from one fixture to the next")->required();
  batchCmd->add_option("--first", batch.first, "First fixture (list row, from 1)")->required();
  batchCmd->add_option("--last", batch.last, "Last fixture (list row, from 1)")->required();
  batchCmd->add_option("--personality", batch.personality, "Personality for every fixture");
  batchCmd->add_flag("--allow-overlap", batch.allowOverlap,
                     "Send even when fixtures would overlap or run past 512");

  cli::PlanCommand plan;
  auto* planCmd = app.add_subcommand(
      "plan", "Address plans by UID: save the list's addresses, or apply a saved plan");
  planCmd->add_option("action", plan.action, "save or apply")
      ->required()
      ->check(CLI::IsMember({"save", "apply"}));
  planCmd->add_option("file", plan.file, "FILE.pat (the Patch page's file) or an address plan")
      ->required();
  planCmd->add_flag("--allow-overlap", plan.allowOverlap,
                    "apply: send even when fixtures would overlap or run past 512");

  cli::ShowCommand show;
  auto* showCmd = app.add_subcommand(
      "show", "Shows (.dmx): record the box's DMX input, play a show, copy a frame range");
  showCmd->add_option("action", show.action, "record, play or copy")
      ->required()
      ->check(CLI::IsMember({"record", "play", "copy"}));
  showCmd
      ->add_option("file", show.file,
                   "Show file: a name in the shows folder (the working directory when not "
                   "installed), or a path")
      ->required();
  showCmd
      ->add_option("--seconds", show.seconds,
                   "record, play: for so long (else until Ctrl+C, or a play's end)")
      ->check(kSeconds);
  showCmd->add_flag("--force", show.force,
                    "record, copy: replace an existing show file of the same name");
  showCmd->add_flag("--loop", show.loop, "play: again and again until Ctrl+C");
  showCmd->add_option("--from", show.from, "copy: first frame")->check(CLI::NonNegativeNumber);
  showCmd->add_option("--to", show.to, "copy: end frame (not copied)")
      ->check(CLI::NonNegativeNumber);

  std::string radioAction;
  std::optional<int> radioChannel;
  auto* radioCmd = app.add_subcommand("radio", "Read or set the radio channel (broadcast)");
  radioCmd->add_option("action", radioAction, "get or set")
      ->required()
      ->check(CLI::IsMember({"get", "set"}));
  radioCmd->add_option("channel", radioChannel, "Channel 1..7 for set");

  cli::ArtNetCommand artnet;
  auto* artnetCmd = app.add_subcommand(
      "artnet", "Run as an Art-Net node: DMX both ways, the device list and RDM for consoles");
  artnetCmd->add_option("--address", artnet.address, "This computer's IPv4 address to use")
      ->required();
  artnetCmd->add_option("--universe", artnet.universe, "Port-address 0..32767 (default 0)")
      ->check(CLI::Range(0, 32767));
  artnetCmd
      ->add_option("--direction", artnet.direction,
                   "in: Art-Net to the box's DMX output (default); out: the box's DMX input "
                   "to Art-Net")
      ->check(CLI::IsMember({"in", "out"}));
  artnetCmd->add_option("--seconds", artnet.seconds, "for so long (else until Ctrl+C)")
      ->check(kSeconds);
  artnetCmd->add_option("--port", options.artNet.port, "UDP port (default 6454)")
      ->check(CLI::Range(1, 65535));

  cli::SacnCommand sacn;
  auto* sacnCmd = app.add_subcommand(
      "sacn", "Run as an sACN (E1.31) node: one universe in to the box, or out as a source");
  sacnCmd->add_option("--address", sacn.address, "This computer's IPv4 address to use")->required();
  sacnCmd->add_option("--universe", sacn.universe, "Universe 1..63999")
      ->required()
      ->check(CLI::Range(1, 63999));
  sacnCmd
      ->add_option("--direction", sacn.direction,
                   "in: sACN to the box's DMX output (default); out: the box's DMX input as "
                   "sACN")
      ->check(CLI::IsMember({"in", "out"}));
  sacnCmd->add_option("--priority", sacn.priority, "out: priority 0..200 (default 100)")
      ->check(CLI::Range(0, 200));
  sacnCmd->add_option("--seconds", sacn.seconds, "for so long (else until Ctrl+C)")
      ->check(kSeconds);
  sacnCmd->add_option("--port", options.sacn.port, "UDP port (default 5568)")
      ->check(CLI::Range(1, 65535));
  std::string sacnTo;
  sacnCmd->add_option("--to", sacnTo,
                      "out: send unicast to this IPv4 address instead of the universe's "
                      "multicast group");

  std::vector<std::string> firmwareImages;
  std::string firmwareOutput;
  auto* firmwareCmd = app.add_subcommand("firmware", "Firmware images of the interface box");
  auto* mergeCmd = firmwareCmd->add_subcommand(
      "merge", "Join a boot loader and an application image (padded to 12288 bytes)");
  firmwareCmd->require_subcommand(1);
  mergeCmd->add_option("images", firmwareImages, "BOOT APP [more], at most five .bin files")
      ->required();
  mergeCmd->add_option("-o,--output", firmwareOutput, "The merged file (never one of the images)")
      ->required();
  bool firmwareForce = false;
  mergeCmd->add_flag("--force", firmwareForce, "Replace an existing output file");

  auto* listCmd = app.add_subcommand("list", "Show the device list with each device's state");
  bool listCsv = false;
  listCmd->add_flag("--csv", listCsv,
                    "The patch report as CSV (RFC 4180) on standard output, sorted by address");

  cli::ReportCommand report;
  auto* reportCmd = app.add_subcommand(
      "report", "Write the patch report (sorted by address, overlaps and gaps marked, the map)");
  reportCmd->add_option("file", report.file, "FILE.pdf, FILE.html or FILE.csv")->required();
  reportCmd->add_option("--language", report.language, "ENU (default) or CHS")
      ->check(CLI::IsMember({"ENU", "CHS"}));
  reportCmd->add_flag("--force", report.force, "Replace an existing file");

  std::string scenesAction;
  std::optional<double> scenesSeconds;
  auto* scenesCmd = app.add_subcommand(
      "scenes", "The desk's scenes (quendaris.show): list, play (until Ctrl+C), stop (blackout)");
  scenesCmd->add_option("action", scenesAction, "list, play or stop")
      ->required()
      ->check(CLI::IsMember({"list", "play", "stop"}));
  scenesCmd->add_option("--seconds", scenesSeconds, "play for so long, then stop")->check(kSeconds);

  std::string readUid;
  auto* readCmd = app.add_subcommand("read", "Read every parameter of one device");
  readCmd->add_option("uid", readUid, "Device UID, e.g. 7FF0:00000101")->required();

  std::string sensorsUid;
  double sensorsWatch = 0;
  auto* sensorsCmd =
      app.add_subcommand("sensors", "Every sensor of one device: definition and value");
  sensorsCmd->add_option("uid", sensorsUid, "Device UID, e.g. 7FF0:00000101")->required();
  sensorsCmd->add_option("--watch", sensorsWatch, "read the values every second for so long")
      ->check(kSeconds);

  cli::SetCommand set;
  auto* setCmd = app.add_subcommand("set", "Set parameters of one device, then read it back");
  setCmd->add_option("uid", set.uid, "Device UID, e.g. 7FF0:00000101")->required();
  setCmd->add_option("--address", set.address, "DMX start address 1..512");
  setCmd->add_option("--label", set.label, "Device label (at most 32 characters)");
  setCmd->add_option("--personality", set.personality, "Personality number");
  setCmd->add_option("--pan-invert", set.panInvert, "Pan inversion: 1 or 0");
  setCmd->add_option("--tilt-invert", set.tiltInvert, "Tilt inversion: 1 or 0");
  setCmd->add_option("--swap", set.panTiltSwap, "Pan/tilt swap: 1 or 0");
  setCmd->add_option("--identify", set.identify, "Identify: 1 or 0");
  setCmd->add_flag("--broadcast", set.broadcast, "Allow a broadcast UID (every device takes it)");
  setCmd->add_flag("--allow-overlap", set.allowOverlap,
                   "Send an address that overlaps another listed fixture");
  bool readBroadcast = false;
  readCmd->add_flag("--broadcast", readBroadcast, "Allow a broadcast UID");
  bool readSlots = false;
  readCmd->add_flag("--slots", readSlots,
                    "Only the personality and what each of its channels does");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);  // CLI11's own message
    if (app.get_subcommands().empty()) {
      std::string known;
      for (const CLI::App* sub : app.get_subcommands({})) {
        known += (known.empty() ? "" : ", ") + sub->get_name();
      }
      std::cerr << "Commands: " << known << "\n";
    }
    return cli::kExitUsage;
  }
  options.virtualLine = virtualOption->count() > 0;
  // Refused before the line is opened: nothing is sent for a report that cannot be written.
  if (reportCmd->parsed() && cli::ReportTargetRefused(report, std::cerr)) return cli::kExitUsage;
  if (listCsv && options.json) {
    std::cerr << "list takes --csv or --json, not both\n";
    return cli::kExitUsage;
  }
  if (mergeCmd->parsed()) {  // no box needed
    return cli::RunFirmwareMerge(firmwareImages, firmwareOutput, firmwareForce, std::cout,
                                 std::cerr);
  }
  if (sacnCmd->parsed() && !sacnTo.empty()) {
    options.sacn.unicastTo = net::ParseIpv4(sacnTo);
    if (!options.sacn.unicastTo) {
      std::cerr << "--to takes an IPv4 address, not \"" << sacnTo << "\"\n";
      return cli::kExitUsage;
    }
  }
  options.artNet.relayAlways = true;  // headless: no page to show, the relay is always on
  {
    // The window's files: the user's directories when installed, else beside the program and
    // in the working directory.
    core::CoreOptions paths;
    for (const std::string& problem : core::UseProgramPaths(paths)) std::cerr << problem << '\n';
    options.programDir = paths.programDir;
    options.workDir = paths.workDir;
    options.showDir = paths.showDir;
  }

  // Discovery's progress goes to standard error, so scripts reading the list get only it.
  cli::ProgressLine progress(std::cerr, isatty(STDERR_FILENO) != 0);
  options.discoveryProgress = [&](const workbench::DiscoveryStatus& s) { progress.Show(s); };
  std::function<void(const std::string&)> printLine;
  if (!quiet && !options.json && !listCsv) {  // standard output is the document
    printLine = [&](const std::string& line) {
      progress.Clear();
      std::cout << line << '\n';
    };
  }

  std::string error;
  int failure = cli::kExitUsage;
  auto session = cli::CliSession::Create(options, printLine, error, &failure);
  if (!session) {
    std::cerr << error << '\n';
    return failure;
  }
  if (rawCmd->parsed()) {
    if (raw.uid.empty() && !raw.broadcast) {
      std::cerr << "raw needs --uid UID or --broadcast\n";
      return 2;
    }
    return cli::RunRaw(*session, raw, std::cout, std::cerr);
  }
  if (rigCmd->parsed()) return cli::RunRig(*session, std::cout, std::cerr);
  if (showCmd->parsed()) {
    std::signal(SIGINT, [](int) { interrupted.store(true); });
    return cli::RunShow(*session, show, interrupted, std::cout, std::cerr);
  }
  if (scenesCmd->parsed()) {
    std::signal(SIGINT, [](int) { interrupted.store(true); });
    return cli::RunScenes(*session, scenesAction, scenesSeconds, interrupted, std::cout, std::cerr);
  }
  if (artnetCmd->parsed()) {
    std::signal(SIGINT, [](int) { interrupted.store(true); });
    std::signal(SIGTERM, [](int) { interrupted.store(true); });
    return cli::RunArtNet(*session, artnet, interrupted, std::cout, std::cerr);
  }
  if (sacnCmd->parsed()) {
    std::signal(SIGINT, [](int) { interrupted.store(true); });
    std::signal(SIGTERM, [](int) { interrupted.store(true); });
    return cli::RunSacn(*session, sacn, interrupted, std::cout, std::cerr);
  }
  if (discoverCmd->parsed()) return cli::RunDiscover(*session, incremental, std::cout, std::cerr);
  if (listCmd->parsed()) {
    return listCsv ? cli::RunListCsv(*session, std::cout, std::cerr)
                   : cli::RunList(*session, std::cout, std::cerr);
  }
  if (reportCmd->parsed()) return cli::RunReport(*session, report, std::cout, std::cerr);
  if (readCmd->parsed()) {
    return cli::RunRead(*session, readUid, std::cout, std::cerr, readBroadcast, readSlots);
  }
  if (sensorsCmd->parsed()) {
    std::signal(SIGINT, [](int) { interrupted.store(true); });
    return cli::RunSensors(*session, sensorsUid, sensorsWatch, interrupted, std::cout, std::cerr);
  }
  if (setCmd->parsed()) return cli::RunSet(*session, set, std::cout, std::cerr);
  if (batchCmd->parsed()) return cli::RunBatch(*session, batch, std::cout, std::cerr);
  if (planCmd->parsed()) return cli::RunPlan(*session, plan, std::cout, std::cerr);
  if (radioCmd->parsed()) {
    if (radioAction == "set" && !radioChannel) {
      std::cerr << "radio set needs a channel 1..7\n";
      return 2;
    }
    return cli::RunRadio(*session, radioAction == "set" ? radioChannel : std::nullopt, std::cout,
                         std::cerr);
  }
  return 2;
}
