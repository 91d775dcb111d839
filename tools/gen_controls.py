#!/usr/bin/env python3
"""The controls of both windows in one table: object name, kind, page, place, the designed
caption and its Chinese and English texts. Writes src/app/ControlTable.inc, the typed
accessors src/app/Controls.h and the four language files under resources/. Run it after
changing the table; with --check it writes nothing and fails when a checked-in file is stale
(a test runs that)."""
import io
import os
import re
import sys

OUTPUTS = {}  # path -> text the table makes of it


class Output(io.StringIO):
    def __init__(self, path):
        super().__init__()
        self.path = path

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        OUTPUTS[self.path] = self.getvalue()
        return False


def generated(path):
    return Output(path)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# kind: L label, B button, C check box, GB group box, P panel, TAB page, E edit, CB combo,
# CBE editable combo, LV report list, LB list box, G grid, SBV/SBH scroll bars, UD up/down,
# M memo, PB progress bar, PX drawing area, IMG picture, FL file list, VLE key/value grid.
# page: 0 = window itself, 1..8 = TabSheet1..8. flags: h = hidden, d = disabled, r = read-only
F1 = []
def c(page, kind, name, x, y, w, h, zh="", en="", designed=None, items="", flags="", text=""):
    if designed is None:
        designed = (zh + en) if (zh and en and zh != en) else (zh or en)
    F1.append(dict(page=page, kind=kind, name=name, x=x, y=y, w=w, h=h, designed=designed,
                   zh=zh, en=en, items=items, flags=flags, text=text))

# ---- main window, outside the pages ----
c(0, "P", "DeviceConnect", 5, 5, 170, 28, designed="Not connected")  # state text, set by the link
c(0, "L", "Label24", 185, 10, 20, 20, "IP", "IP")
c(0, "CB", "ComboBox_IP", 205, 6, 150, 26)
c(0, "IMG", "Image_L", 365, 4, 60, 30)
c(0, "B", "SpeedButton5", 435, 5, 110, 28, "清除显示", "Clear log", designed="清除显示")
# The device list's patch report (PDF, HTML or CSV), added beside the design's bar.
c(0, "B", "SpeedButtonExport", 555, 5, 100, 28, "导出…", "Export…", designed="导出…")
# What the Art-Net node receives, on every page; written by the program.
c(0, "L", "LabelArtNetStatus", 665, 11, 470, 20)
# Why there is no box to work with, over the foot of the device list; written by the program
# and hidden while the box is connected.
c(0, "L", "LabelBoxState", 15, 318, 540, 110, flags="h")
c(0, "B", "SpeedButtonMin", 1150, 5, 140, 28, "后台运行", "Minimize", designed="  后台运行  Minimize", flags="h")
c(0, "LV", "ListViewUID", 5, 40, 560, 395)
c(0, "B", "SpeedButton_B", 5, 440, 72, 28, "识别灯具", "Identify", designed="识别灯具")
c(0, "B", "SpeedButton_A", 80, 440, 60, 28, "点亮灯泡", "Lamp", designed="点亮灯泡")
c(0, "L", "Label44", 144, 445, 76, 20, "标记标记", "Fixture No.", designed="标记标记")
c(0, "E", "MaskEdit_SNUM", 220, 442, 46, 24)
c(0, "B", "SpeedButtonSort", 270, 440, 50, 28, "排序", "Sort", designed="排序")
c(0, "B", "SpeedButtonUp", 324, 440, 70, 28, "上移UID", "UID up", designed="上移UID")
c(0, "B", "SpeedButtonDown", 398, 440, 72, 28, "下移UID", "UID down", designed="下移UID")
c(0, "B", "SpeedButton2", 474, 440, 71, 28, "清空列表", "Clear list", designed="清空列表")
c(0, "CB", "ComboBox_UID", 5, 440, 10, 24, flags="h")
c(0, "M", "LogMemo", 5, 475, 560, 210, flags="r")
c(0, "GB", "GroupBox1", 1000, 688, 295, 32, "官方网站", "Website")
c(0, "L", "Label_quendaris", 1010, 698, 270, 18, "www.velquor.example", "www.velquor.example")
c(0, "TAB", "TabSheet1", 0, 0, 0, 0, "RDM", "RDM")
c(0, "TAB", "TabSheet2", 0, 0, 0, 0, "Patch", "Patch")
c(0, "TAB", "TabSheet3", 0, 0, 0, 0, "Art-Net", "Art-Net")
c(0, "TAB", "TabSheet4", 0, 0, 0, 0, "DMX", "DMX")
c(0, "TAB", "TabSheet5", 0, 0, 0, 0, "IAP", "IAP")
c(0, "TAB", "TabSheet6", 0, 0, 0, 0, "DMX-3D", "DMX-3D")
c(0, "TAB", "TabSheet7", 0, 0, 0, 0, "RdmRadio", "RdmRadio")
c(0, "TAB", "TabSheet8", 0, 0, 0, 0, "MA2 Rdm Command", "MA2 Rdm Command")

# ---- RDM page ----
P = 1
c(P, "B", "SpeedButtonDiscover", 10, 8, 150, 32, "查找 设备", "Discover", designed="查找 设备 Discover")
c(P, "B", "SpeedButtonAdd", 168, 8, 150, 32, "增加设备", "Increase", designed="增加设备   Increase ")
c(P, "B", "SpeedButton6", 326, 8, 110, 32, "关闭搜索", "Stop search", designed="关闭搜索")
c(P, "CB", "ComboBoxRDM", 444, 12, 90, 24, items="Speed5|Speed4|Speed3|Speed2|Speed1|Speed0")
c(P, "B", "SpeedButtonRdm", 542, 8, 170, 32, "RDM 可视化写码", "RDM visual addressing", designed="RDM 可视化写码")
rows = [("Label_Edit35", "Edit35", "列表序号", "List row:", ""),
        ("Label_Edit1", "Edit1", "设备名称", "Device Name:", ""),
        ("Label_Edit2", "Edit2", "厂商", "Manufacturer:", ""),
        ("Label_Edit8", "Edit8", "类别", "Category:", ""),
        ("Label_Edit9", "Edit9", "固件", "Firmware:", "")]
y = 52
for lab, ed, zh, en, text in rows:
    c(P, "L", lab, 10, y + 3, 175, 20, zh + ":", en, designed=zh + en)
    c(P, "E", ed, 190, y, 200, 24, text=text, flags="" if ed in ("Edit35", "Edit1") else "r")
    y += 30
c(P, "L", "Label_Axes", 10, y + 3, 175, 20, "XY轴设置:", "Axes:", designed="XY轴设置Axes:")
c(P, "C", "CheckBox1", 190, y, 70, 24, "Pan反向", "Pan", designed="Pan")
c(P, "C", "CheckBox2", 261, y, 66, 24, "Tilt反向", "Tilt", designed="Tilt")
c(P, "C", "CheckBox3", 328, y, 62, 24, "XY交换", "Swap", designed="Swap")
y += 30
c(P, "L", "Label_ComboBoxMode", 10, y + 3, 175, 20, "通道模式:", "Personality:", designed="通道模式Personality:")
c(P, "CB", "ComboBoxMode", 190, y, 200, 24)
y += 30
c(P, "L", "Label_EditAddr", 10, y + 3, 175, 20, "地址码:", "DMX Address:", designed="地址码DMX Address:")
c(P, "E", "EditAddr", 190, y, 182, 24)
c(P, "UD", "UpDown1", 372, y, 18, 24)
y += 30
for lab, ed, zh, en, text in [("Label_Edit5", "Edit5", "设备状态", "Device State:", ""),
                              ("Label_Edit33", "Edit33", "设备时间", "Dev. hours:", ""),
                              ("Label_Edit34", "Edit34", "灯泡时间", "Lamp hours:", "")]:
    c(P, "L", lab, 10, y + 3, 175, 20, zh + ":", en, designed=zh + en)
    c(P, "E", ed, 190, y, 200, 24, text=text, flags="r")
    y += 30
c(P, "L", "Label_Edit10", 10, y + 3, 175, 20, "通道数:", "DMX Footprint:", designed="通道数DMX Footprint:", flags="h")
c(P, "E", "Edit10", 190, y, 200, 24, flags="hr")
y += 34
c(P, "B", "SpeedButtonRdmRead", 10, y, 120, 32, "读", "Read", designed="读(Read)")
c(P, "B", "SpeedButtonRdmWrite", 138, y, 120, 32, "写", "Write", designed="写(Write)")
c(P, "B", "SpeedButtonReset", 266, y, 124, 32, "复位", "Reset", designed="复位Reset")
# What each channel of the panel's fixture does, in a small window of its own; added to the design.
c(P, "B", "SpeedButtonChannels", 565, y, 150, 32, "通道功能…", "Channels…", designed="通道功能…")
# Discovery's progress (found, branches asked, time), written by the program while it runs.
c(P, "L", "LabelDiscovery", 10, y + 44, 380, 20)
# Whose values the panel holds (the device read last), written by the program.
c(P, "L", "LabelPanelDevice", 10, y + 66, 275, 20)
# The sensors of the fixture the panel holds, in a window of their own; enabled when it lists
# SENSOR_DEFINITION.
c(P, "B", "SpeedButtonSensors", 290, y + 64, 100, 24, "传感器…", "Sensors…", designed="传感器…", flags="d")
c(P, "CB", "ComboBoxID", 400, 52, 315, 24)
c(P, "GB", "GroupBox2", 400, 84, 315, 250, "批量写码", "Batch addressing")
c(P, "C", "CheckBoxChannel", 410, 106, 170, 24, "批量通道:", "Channel Mode:", designed="批量通道 Channel Mode:")
c(P, "CB", "ComboBoxChannelMode", 585, 106, 120, 24, flags="d")
by = 140
for lab, ed, zh, en, text in [("Label_EditStartAddress", "EditStartAddress", "开始灯具地址", "Start Address:", "1"),
                              ("Label_EditStart", "EditStart", "开始灯具序号", "Start Fixture:", "1"),
                              ("Label_EditEnd", "EditEnd", "结束灯具序号", "End Fixture:", "1"),
                              ("Label_EditChannel", "EditChannel", "间隔通道数", "Inc Channel:", "0")]:
    c(P, "L", lab, 410, by + 3, 200, 20, zh + ":", en, designed=zh + " " + en)
    c(P, "E", ed, 615, by, 90, 24, text=text)
    by += 32
c(P, "B", "SpeedButtonAddress", 410, by + 4, 295, 32, "批量写码", "Address", designed="批量写码 Address")
c(P, "L", "Label41", 400, 350, 70, 20, "空闲发送", "Idle send", designed="空闲发送", flags="h")
c(P, "E", "EditTime", 470, 347, 60, 24, text="3000", flags="h")
c(P, "L", "Label7", 535, 350, 30, 20, "MS", "MS", flags="h")
c(P, "C", "CheckBoxDMX", 570, 347, 60, 24, "DMX", "DMX", flags="h")
c(P, "C", "CheckBoxTest", 635, 347, 70, 24, "测试", "Test", designed="测试", flags="h")

# ---- Patch page ----
P = 2
c(P, "PX", "PaintBox1", 10, 10, 593, 321)
c(P, "L", "Label23", 610, 10, 100, 20, "32 x16", "32 x16")
c(P, "L", "Label20", 610, 40, 100, 20, "地址", "Address", designed="地址Address")
c(P, "L", "Label28", 610, 62, 100, 20, "000", "000")
for i, (name, zh, en, des) in enumerate([("Button6", "读", "Read", "Read"), ("Button7", "写", "Write", "Write"),
                                         ("Button8", "保存", "Save", "Save"), ("Button9", "加载", "Load", "Load")]):
    c(P, "B", name, 10 + i * 100, 340, 90, 30, zh, en, designed=des)
for i, (name, zh, en, des) in enumerate([("BitBtn4", "读", "Read", "读Read"), ("BitBtn5", "写", "Write", "写Write"),
                                         ("BitBtn6", "加载", "Load", "加载Load"), ("BitBtn7", "保存", "Save", "保存Save")]):
    c(P, "B", name, 10 + i * 100, 380, 90, 30, zh, en, designed=des)
c(P, "IMG", "ImagePatch", 610, 100, 100, 100)

# ---- Art-Net page ----
P = 3
c(P, "CB", "ComboBoxArtNet", 10, 8, 180, 24, items="Art-Net To DMX512|DMX512 To Art-Net")
c(P, "C", "CheckBoxArtNet", 200, 8, 140, 24, "信号测试", "Signal testing", designed="Signal testing")
c(P, "L", "Label21", 350, 11, 70, 20, "Universe:", "Universe:")
c(P, "E", "Edit_Universe", 420, 8, 60, 24, text="0")
c(P, "UD", "UpDownUni", 480, 8, 18, 24)
c(P, "IMG", "ImageArtNet", 610, 4, 100, 32)
c(P, "G", "StringGrid", 10, 40, 560, 420)
c(P, "L", "Label_ShowName", 10, 472, 60, 20, "节目名:", "Show:", designed="Show:")
c(P, "E", "EditShowName", 70, 469, 110, 24, text="Show")
c(P, "B", "BtnRecord", 190, 467, 70, 28, "录制", "Record")
c(P, "B", "BtnStop", 265, 467, 70, 28, "停止", "Stop", flags="d")
c(P, "B", "BtnPlay", 340, 467, 70, 28, "播放", "Play loop", designed="播放Play")
c(P, "B", "BtnLoop", 415, 467, 70, 28, "循环", "Copy loop", designed="循环Loop")
c(P, "B", "BtnSaveFile", 490, 467, 70, 28, "截取", "Cut")
c(P, "B", "BtnShowDelete", 565, 467, 70, 28, "删除", "Delete")
c(P, "P", "ShowState", 580, 40, 130, 28, designed="Finish")  # state text
c(P, "FL", "FileListBoxShow", 580, 75, 130, 385)
c(P, "L", "Label_EditStart2", 10, 506, 60, 20, "起始帧:", "Start:", designed="Start:")
c(P, "E", "Edit_Start", 70, 503, 80, 24, text="0")
c(P, "L", "Label_EditStop2", 160, 506, 60, 20, "结束帧:", "Stop:", designed="Stop:")
c(P, "E", "Edit_Stop", 220, 503, 80, 24, text="0")
# sACN (E1.31) beside Art-Net: the protocol the page's DMX takes or sends (the direction is
# ComboBoxArtNet's), its universe and priority, and what it receives; added to the design.
c(P, "L", "Label_Protocol", 310, 506, 60, 20, "协议:", "Protocol:")
c(P, "CB", "ComboBoxProtocol", 370, 503, 90, 24, items="Art-Net|sACN")
c(P, "L", "Label_SacnUniverse", 10, 538, 100, 20, "sACN Universe:", "sACN universe:")
c(P, "E", "Edit_SacnUniverse", 110, 535, 60, 24, text="1")
c(P, "L", "Label_SacnPriority", 180, 538, 60, 20, "优先级:", "Priority:")
c(P, "E", "Edit_SacnPriority", 240, 535, 50, 24, text="100")
c(P, "L", "LabelSacnStatus", 300, 538, 415, 20)  # written by the program

# ---- DMX page ----
P = 4
for k in range(12):
    x = 10 + k * 44
    c(P, "L", f"Label_C{k+1}", x, 8, 42, 18)
    c(P, "SBV", f"ScrollBar{k+1}", x + 12, 28, 20, 260)
    c(P, "L", f"Label_D{k+1}", x, 292, 42, 18)
c(P, "SBH", "ScrollBarDMX", 10, 318, 520, 20)
c(P, "B", "SpeedButton11", 10, 348, 80, 30, "清除", "Clear", designed="清除")
c(P, "B", "SpeedButton_Add", 95, 348, 80, 30, "添加", "Add", designed="添加")
c(P, "B", "SpeedButton_Delete", 180, 348, 80, 30, "删除", "Delete", designed="删除")
c(P, "B", "SpeedButton18", 265, 348, 80, 30, "Run", "Run")
c(P, "B", "SpeedButton_Show", 350, 348, 80, 30, "保存", "Save", designed="保存 Save")
c(P, "L", "Label42", 10, 392, 60, 20, "渐变ms:", "Fade ms:", designed="渐变ms:")
c(P, "CBE", "ComboBox_Fade", 70, 389, 90, 24, items="100|500|1000|2000|3000|4000|5000|10000")
c(P, "L", "Label43", 170, 392, 60, 20, "保持ms:", "Hold ms:", designed="保持ms:")
c(P, "CBE", "ComboBox_Hold", 230, 389, 90, 24, items="100|500|1000|2000|3000|4000|5000|10000")
c(P, "LV", "ListView1", 540, 8, 178, 400)

# ---- IAP page ----
P = 5
c(P, "L", "Label35", 10, 11, 170, 20, "IAP起始标记25位", "IAP start mark (25 bits)", designed="IAP起始标记25位")
c(P, "E", "EditIAP", 185, 8, 200, 24)
c(P, "B", "SpeedButtonOpenFile", 10, 42, 150, 32, "打开文件", "OPEN", designed="打开文件 OPEN ")
c(P, "B", "SpeedButtonIAP", 170, 42, 150, 32, "开始 IAP", "Start IAP", designed="开始 IAP")
c(P, "B", "SpeedButtonCmd", 330, 42, 40, 32)
c(P, "CB", "ComboBoxSpeed", 380, 46, 130, 24, items="速度 Speed5|速度 Speed4|速度 Speed3|速度 Speed2|速度 Speed1|速度 Speed0")
c(P, "PB", "ProgressBarIAP", 10, 84, 500, 20)
c(P, "M", "Memo1", 10, 112, 500, 120, text="请打开烧录文件 ->\n按中间大键等待复位灯具 ->\n按开始IAP按钮 ->\n下载速度可调  ->")
c(P, "B", "SpeedButtonOpenBin", 10, 250, 240, 32, "选择需要合并的文件", "Open", designed="Open 选择需要合并的文件")
c(P, "B", "SpeedButtonSaveBin", 260, 250, 240, 32, "保存合并的文件", "Save", designed="Save 保存合并的文件")
c(P, "M", "Memo2", 10, 290, 500, 150, text="请选择IAP和APP两个需要合并的bin文件 ->\n然后保存文件  ->")

# ---- DMX-3D page ----
P = 6
c(P, "G", "StringGrid3D", 10, 40, 560, 420)
c(P, "L", "Label_EditUniverse", 10, 11, 70, 20, "Universe:", "Universe:")
c(P, "E", "EditUniverse", 80, 8, 60, 24, text="0")
c(P, "L", "Label_EditStartCode", 150, 11, 75, 20, "StartCode:", "StartCode:")
c(P, "E", "EditStartCode", 225, 8, 60, 24, text="0")
c(P, "L", "Label_EditPackets", 295, 11, 60, 20, "Packets:", "Packets:")
c(P, "E", "EditPackets", 355, 8, 60, 24, text="0")

# ---- RdmRadio page ----
P = 7
c(P, "IMG", "ImageRdmRadio", 10, 10, 200, 120)
c(P, "L", "Label34", 10, 143, 110, 20, "无线频道Ch：", "Radio channel:", designed="无线频道Ch：")
c(P, "CB", "ComboBoxRdmCh", 125, 140, 120, 24, items="频道Ch1|频道Ch2|频道Ch3|频道Ch4|频道Ch5|频道Ch6|频道Ch7")
c(P, "B", "SpeedButtonRead", 10, 175, 115, 32, "读", "Read", designed=" 读（Read）")
c(P, "B", "SpeedButton1", 130, 175, 115, 32, "写", "Write", designed=" 写（Write）")

# ---- MA2 Rdm Command page ----
P = 8
c(P, "L", "Label_Command", 10, 11, 110, 20, "命令:", "Command:", designed="命令Command:")
c(P, "CB", "ComboBoxCommand", 120, 8, 200, 24, items="GET_COMMAND  Ox20|SET_COMMAND  0x30|DISC_COMMAND 0x10")
c(P, "L", "Label_Parameter", 10, 43, 110, 20, "参数:", "Parameter:", designed="参数Parameter:")
c(P, "CB", "ComboBoxParameter", 120, 40, 320, 24)
c(P, "L", "Label_Subdevice", 10, 75, 110, 20, "子设备:", "Subdevice:", designed="子设备Subdevice:")
c(P, "CB", "ComboBoxSubdevice", 120, 72, 80, 24, items="|".join(str(i) for i in range(16)))
c(P, "L", "Label_RdmData", 10, 107, 110, 20, "数据:", "Data:", designed="数据:")
c(P, "E", "EditRdmData", 120, 104, 80, 24, text="1")
c(P, "B", "SpeedButtonAddrdm", 210, 102, 70, 28, "增加", "Add", designed="增加")
c(P, "B", "SpeedButtonDelete", 285, 102, 70, 28, "删除", "Delete", designed="删除")
c(P, "B", "SpeedButtonSendRDM", 360, 102, 80, 28, "发送", "Send", designed="发送")
c(P, "C", "CheckBoxRdmAll", 450, 104, 80, 24, "所有", "All", designed="所有")
c(P, "VLE", "ValueListEditorRDM", 10, 140, 200, 320)
c(P, "LB", "ListBox_RDM", 220, 140, 495, 320)

# ---- visual addressing window ----
F2 = []
def c2(kind, name, x, y, w, h, zh="", en="", designed=None, flags="", text=""):
    if designed is None:
        designed = en or zh
    F2.append(dict(page=0, kind=kind, name=name, x=x, y=y, w=w, h=h, designed=designed, zh=zh, en=en,
                   items="", flags=flags, text=text))
c2("PX", "PaintBox1", 10, 10, 580, 360)
c2("LV", "ListView1", 600, 10, 170, 360)
c2("L", "LabelAddr", 780, 10, 140, 20, "地址:001", "Address:001", designed="Address:001")
c2("L", "LabelUID", 780, 34, 140, 20, "UID:666612345678", "UID:666612345678")
for k in range(12):
    x = 10 + k * 48
    c2("L", f"Label_C{k+1}", x, 378, 44, 18)
    c2("SBV", f"ScrollBar{k+1}", x + 12, 398, 20, 120)
    c2("L", f"Label_D{k+1}", x, 520, 44, 18)
c2("SBH", "ScrollBarDMX", 10, 542, 570, 18)
for i, (name, zh, en) in enumerate([("SpeedButtonclear", "清零", "Clean up"), ("SpeedButton1", "全亮", "Full height"),
                                     ("SpeedButton2", "单数", "Odd"), ("SpeedButton4", "保存", "Save"),
                                     ("SpeedButton5", "加载", "Load"), ("SpeedButton6", "写码", "write"),
                                     ("SpeedButton7", "全部取消", "Cancel all")]):
    c2("B", name, 600 + (i % 2) * 160, 380 + (i // 2) * 40, 150, 32, zh, en)

CAPTIONED = {"L", "B", "C", "GB", "P", "TAB"}

def cstr(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'

def table(name, rows):
    out = [f"inline constexpr ControlSpec {name}[] = {{"]
    for r in rows:
        out.append("    {%d, %s, %s, %d, %d, %d, %d, %s, %s, %s, %s}," % (
            r["page"], cstr(r["kind"]), cstr(r["name"]), r["x"], r["y"], r["w"], r["h"],
            cstr(r["designed"]), cstr(r["items"]), cstr(r["flags"]), cstr(r["text"])))
    out.append("};")
    return "\n".join(out)

with generated(os.path.join(ROOT, "src/app/ControlTable.inc")) as f:
    f.write("// Generated by tools/gen_controls.py from its table of controls; edit the table there.\n")
    f.write(table("kMainControls", F1) + "\n\n" + table("kAddressingControls", F2) + "\n")

QT_TYPES = {"L": "QLabel", "P": "QLabel", "IMG": "QLabel", "B": "QPushButton", "C": "QCheckBox",
            "GB": "QGroupBox", "E": "QLineEdit", "CB": "QComboBox", "CBE": "QComboBox",
            "LV": "QTableWidget", "G": "QTableWidget", "VLE": "QTableWidget",
            "LB": "QListWidget", "FL": "QListWidget", "SBV": "QScrollBar", "UD": "QScrollBar",
            "SBH": "QScrollBar", "M": "QPlainTextEdit", "PB": "QProgressBar", "PX": "QWidget",
            "TAB": "QWidget"}

def accessors(namespace, rows):
    out = [f"namespace {namespace} {{", "",
           "// Every control of the window, typed, found once after the window is built.",
           "struct Controls {"]
    for r in rows:
        out.append(f"  {QT_TYPES[r['kind']]}* {r['name']} = nullptr;")
    # Numbered families (ScrollBar1..ScrollBar12) also as arrays, for loops over them.
    families = {}
    for r in rows:
        m = re.fullmatch(r"(.*?[A-Za-z_])(\d+)", r["name"])
        if m:
            families.setdefault(m.group(1), []).append((int(m.group(2)), r))
    for prefix, members in families.items():
        numbers = sorted(n for n, _ in members)
        types = {QT_TYPES[r["kind"]] for _, r in members}
        if len(numbers) < 3 or numbers != list(range(1, len(numbers) + 1)) or len(types) != 1:
            continue
        plural = prefix + ("es" if prefix.endswith(("x", "s")) else "s")
        names = ", ".join(f"{prefix}{n}" for n in numbers)
        out.append(f"  std::array<{types.pop()}*, {len(numbers)}> {plural}() const {{ return {{{names}}}; }}")
    out += ["", "  void Bind(const QObject& root) {"]
    for r in rows:
        out.append(f"    {r['name']} = root.findChild<{QT_TYPES[r['kind']]}*>(\"{r['name']}\");")
    out += ["  }", "};", "", f"}}  // namespace {namespace}"]
    return "\n".join(out)

with generated(os.path.join(ROOT, "src/app/Controls.h")) as f:
    f.write("#pragma once\n// Generated by tools/gen_controls.py from its table of controls; edit the table there.\n"
            "// Each window's controls in a namespace of its own, so equal object names cannot clash.\n\n")
    f.write("#include <array>\n\n")
    for inc in ("QCheckBox", "QComboBox", "QGroupBox", "QLabel", "QLineEdit", "QListWidget",
                "QPlainTextEdit", "QProgressBar", "QPushButton", "QScrollBar", "QTableWidget",
                "QWidget"):
        f.write(f"#include <{inc}>\n")
    f.write("\nnamespace velquor::app {\n\n")
    f.write(accessors("form1", F1) + "\n\n" + accessors("form2", F2) + "\n\n")
    f.write("}  // namespace velquor::app\n")

def lang(path, form, rows, title, background, lang_key):
    lines = ["[General]", f"Caption={title}", "FontName=Sans Serif", f"BackgroundColor={background}",
             "FontColor=0x0000ff00", "FontSize=9", "Charset=1", f"[{form}]", f"{form}={title}"]
    for r in rows:
        text = r[lang_key]
        if r["kind"] in CAPTIONED and text:
            lines.append(f"{r['name']}={text}")
    with generated(path) as f:
        f.write("\r\n".join(lines) + "\r\n")

res = os.path.join(ROOT, "resources")
lang(os.path.join(res, "lang_ch.ini"), "Form1", F1, "VELQUOR PRO V2.0.1", "0x001e1e1e", "zh")
lang(os.path.join(res, "lang_en.ini"), "Form1", F1, "VELQUOR PRO V2.0.1", "0x001e1e1e", "en")
lang(os.path.join(res, "lang_ch_2.ini"), "Form2", F2, "RDM 可视化写码", "0x002e2e2e", "zh")
lang(os.path.join(res, "lang_en_2.ini"), "Form2", F2, "RDM System", "0x002e2e2e", "en")
if "--check" in sys.argv[1:]:
    stale = []
    for path, text in OUTPUTS.items():
        with open(path, encoding="utf-8", newline="") as f:
            if f.read() != text:
                stale.append(os.path.relpath(path, ROOT))
    if stale:
        print("stale, run tools/gen_controls.py:", ", ".join(stale))
        sys.exit(1)
    print(len(OUTPUTS), "generated files are current")
    sys.exit(0)
for path, text in OUTPUTS.items():
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)
print(len(F1), "main controls,", len(F2), "addressing controls")
