#include "workbench/PatchReport.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

namespace velquor::workbench {

namespace {

std::string Answered(const std::string& text) {
  return text == kNoAnswerText ? std::string() : text;
}

std::string UidCell(rdm::Uid uid) {
  return "0x" + rdm::UidText12(uid);  // as the device list shows it
}

PatchReportRow RowOf(const DeviceRecord& d) {
  PatchReportRow row;
  row.uid = d.Uid;
  row.label = d.Label;
  row.manufacturer = Answered(d.ManufacturerLabel);
  row.model = Answered(d.DeviceModelDescription);
  row.personality = Answered(d.PersonalityDescription);
  if (d.AddressKnown && d.StartAddressIndex == kNoStartAddressIndex) {
    row.footprint = 0;  // E1.20: a device without a footprint reports no start address
    return row;
  }
  if (d.AddressKnown) row.start = d.StartAddressIndex + 1;
  if (d.FootprintKnown) row.footprint = d.Footprint;
  if (row.start && row.footprint && *row.footprint > 0) {
    row.end = *row.start + *row.footprint - 1;
    row.pastEnd = *row.end > 512;
  }
  return row;
}

}  // namespace

PatchReport BuildPatchReport(const DeviceTable& table) {
  PatchReport report;
  for (const DeviceRecord& d : table.Devices) report.rows.push_back(RowOf(d));
  std::stable_sort(report.rows.begin(), report.rows.end(),
                   [](const PatchReportRow& a, const PatchReportRow& b) {
                     if (a.start.has_value() != b.start.has_value()) return a.start.has_value();
                     return a.start && *a.start < *b.start;
                   });
  int covered = 0;  // the highest address taken by the fixtures so far
  for (PatchReportRow& a : report.rows) {
    if (!a.end) continue;
    ++report.patched;
    for (const PatchReportRow& b : report.rows) {
      if (&a != &b && b.end && *a.start <= *b.end && *b.start <= *a.end)
        a.overlaps.push_back(b.uid);
    }
    if (!a.overlaps.empty()) ++report.overlapping;
    const int lastFree = std::min(*a.start - 1, 512);
    if (covered + 1 <= lastFree) a.gapBefore = std::pair{covered + 1, lastFree};
    covered = std::max(covered, *a.end);
    for (int slot = *a.start; slot <= std::min(*a.end, 512); ++slot) {
      ++report.fixturesOnSlot[static_cast<size_t>(slot - 1)];
    }
  }
  report.freeSlots =
      static_cast<int>(std::count(report.fixturesOnSlot.begin(), report.fixturesOnSlot.end(), 0));
  return report;
}

const ReportTexts& ReportTextsFor(std::string_view language) {
  static const ReportTexts kEnglish{
      "en",
      "Patch report",
      "Generated",
      "Fixtures",
      "Patched",
      "Overlapping",
      "Free addresses",
      {"UID", "Label", "Manufacturer", "Model", "Personality", "Start", "Footprint", "End"},
      "Marks",
      "Free",
      "Overlaps",
      "runs past 512",
      "no DMX footprint",
      "Map:",
      "free",
      "one fixture",
      "overlap",
      "An empty cell is a value never read from the fixture."};
  static const ReportTexts kChinese{
      "zh",
      "配接报告",
      "生成时间",
      "灯具",
      "已配接",
      "重叠",
      "空闲地址",
      {"UID", "设备名称", "厂商", "型号", "通道模式", "起始地址", "通道数", "结束地址"},
      "标记",
      "空闲",
      "重叠",
      "超出 512",
      "无 DMX 通道",
      "地图：",
      "空闲",
      "一台灯具",
      "重叠",
      "空白格：该值未从灯具读到。"};
  return language == "CHS" ? kChinese : kEnglish;
}

std::string GapText(std::pair<int, int> gap) {
  return fmt::format("{}–{} ({})", gap.first, gap.second, gap.second - gap.first + 1);
}

std::string RowMarks(const PatchReportRow& row, const ReportTexts& texts) {
  std::vector<std::string> marks;
  if (row.footprint == 0 && !row.start) marks.push_back(texts.noFootprint);
  if (!row.overlaps.empty()) {
    std::string uids;
    for (rdm::Uid uid : row.overlaps) uids += (uids.empty() ? "" : ", ") + UidCell(uid);
    marks.push_back(texts.overlapsWith + " " + uids);
  }
  if (row.pastEnd) marks.push_back(texts.pastEnd);
  std::string out;
  for (const std::string& m : marks) out += (out.empty() ? "" : "; ") + m;
  return out;
}

std::optional<ReportFormat> ReportFormatOf(std::string_view path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) return {};
  std::string ext(path.substr(dot + 1));
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "pdf") return ReportFormat::Pdf;
  if (ext == "html" || ext == "htm") return ReportFormat::Html;
  if (ext == "csv") return ReportFormat::Csv;
  return {};
}

namespace {

std::string Number(const std::optional<int>& n) {
  return n ? std::to_string(*n) : std::string();
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string HtmlText(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string PatchReportCsv(const PatchReport& report) {
  std::string out =
      "UID,Label,Manufacturer,Model,Personality,Start,Footprint,End,Free before,Overlaps\r\n";
  for (const PatchReportRow& r : report.rows) {
    std::string overlaps;
    for (rdm::Uid uid : r.overlaps) overlaps += (overlaps.empty() ? "" : " ") + UidCell(uid);
    const std::string gap =
        r.gapBefore ? fmt::format("{}-{}", r.gapBefore->first, r.gapBefore->second) : "";
    const std::string fields[] = {UidCell(r.uid),
                                  r.label,
                                  r.manufacturer,
                                  r.model,
                                  r.personality,
                                  Number(r.start),
                                  Number(r.footprint),
                                  Number(r.end),
                                  gap,
                                  overlaps};
    std::string line;
    for (const std::string& f : fields) line += (line.empty() ? "" : ",") + CsvField(f);
    out += line + "\r\n";
  }
  return out;
}

std::string PatchReportHtml(const PatchReport& report, const ReportTexts& t,
                            std::string_view generatedAt) {
  std::string out = fmt::format(
      "<!DOCTYPE html>\n<html lang=\"{}\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>{}</title>\n<style>\n"
      "body {{ font-family: sans-serif; font-size: 10pt; }}\n"
      "table {{ border-collapse: collapse; }}\n"
      "td, th {{ border: 1px solid #888; padding: 2px 5px; text-align: left; }}\n"
      "table.map td {{ width: 14px; height: 14px; padding: 0; }}\n"
      "table.map th {{ border: none; font-weight: normal; padding-right: 4px; }}\n"
      ".s0 {{ background: #fff; }} .s1 {{ background: #0c0; }} .s2 {{ background: #e00; }}\n"
      "tr.gap td {{ background: #eee; font-style: italic; }}\n"
      "tr.overlap td {{ background: #fdd; }}\n"
      "</style>\n</head>\n<body>\n<h1>{}</h1>\n",
      t.htmlLanguage, HtmlText(t.title), HtmlText(t.title));
  out +=
      fmt::format("<p>{}: {} &middot; {}: {} &middot; {}: {} &middot; {}: {} &middot; {}: {}</p>\n",
                  HtmlText(t.generated), HtmlText(generatedAt), HtmlText(t.fixtures),
                  report.rows.size(), HtmlText(t.patched), report.patched, HtmlText(t.overlapping),
                  report.overlapping, HtmlText(t.freeSlots), report.freeSlots);
  out += "<table class=\"map\">\n";
  for (int line = 0; line < 16; ++line) {
    out += fmt::format("<tr><th>{}</th>", line * 32 + 1);
    for (int column = 0; column < 32; ++column) {
      const int slot = line * 32 + column;
      const int n = std::min(report.fixturesOnSlot[static_cast<size_t>(slot)], 2);
      out += fmt::format("<td class=\"s{}\" title=\"{}\"></td>", n, slot + 1);
    }
    out += "</tr>\n";
  }
  out += "</table>\n";
  out += fmt::format(
      "<p>{} <span class=\"s0\">&#9633;</span> {} &middot; <span class=\"s1\">&#9633;</span> {} "
      "&middot; <span class=\"s2\">&#9633;</span> {}</p>\n",
      HtmlText(t.legend), HtmlText(t.legendFree), HtmlText(t.legendOne), HtmlText(t.legendMany));
  out += "<table class=\"patch\">\n<tr>";
  for (const std::string& c : t.columns) out += "<th>" + HtmlText(c) + "</th>";
  out += "<th>" + HtmlText(t.marks) + "</th></tr>\n";
  for (const PatchReportRow& r : report.rows) {
    if (r.gapBefore) {
      out += fmt::format("<tr class=\"gap\"><td colspan=\"9\">{} {}</td></tr>\n", HtmlText(t.gap),
                         HtmlText(GapText(*r.gapBefore)));
    }
    out += r.overlaps.empty() && !r.pastEnd ? "<tr>" : "<tr class=\"overlap\">";
    for (const std::string& cell :
         {UidCell(r.uid), r.label, r.manufacturer, r.model, r.personality, Number(r.start),
          Number(r.footprint), Number(r.end), RowMarks(r, t)}) {
      out += "<td>" + HtmlText(cell) + "</td>";
    }
    out += "</tr>\n";
  }
  out += "</table>\n<p>" + HtmlText(t.notRead) + "</p>\n</body>\n</html>\n";
  return out;
}

}  // namespace velquor::workbench
