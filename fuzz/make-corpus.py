#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Seeds are small realistic inputs: module output as the adapter delivers it, controller command
words, config.ini and scenario files, and tiny RIFF WAVE files. Run it again after editing; it
rewrites only the files it generates (crash inputs added by hand keep their own names).
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
MAC = "00:1a:7d:da:71:13"
OTHER = "00:02:5b:00:a5:a5"

# module_parser: first byte picks the wait mode (index into none, inquiry end, connections,
# first inquiry, streaming, SCO, keys, ready; +0x80 = the target MAC is known), then the text.
MODULE = {
    "boot": (7, "WRAP THOR AI (6.1.0 build 1022)\r\nCopyright (c) 2003-2015 Bluegiga "
                "Technologies Inc.\r\nREADY.\r\n"),
    "inquiry": (1, f"INQUIRY_PARTIAL {MAC} 240404 \"\" -47\r\nINQUIRY_PARTIAL {OTHER} "
                   f"240404 \"\" -80\r\nINQUIRY 2\r\nNAME {MAC} \"ORV Demo Headset\"\r\n"),
    "first-inquiry": (3, f"INQUIRY_PARTIAL {MAC} 240404 \"AT+BVRA=1 NO CARRIER 0 ERROR 0\" "
                         "-47\r\n"),
    "connect": (0x82, "CALL 0\r\nCONNECT 0 HFP-AG 2\r\nHFP-AG 0 UNKNOWN (0): AT+BRSF=191\\r\r\n"
                      "CALL 1\r\nCONNECT 1 A2DP 19\r\nCONNECT 2 A2DP 19\r\nCALL 3\r\n"
                      "CONNECT 3 AVRCP 23\r\nAVRCP 3 GET_CAPABILITIES 3\r\n"),
    "streaming": (4, "A2DP STREAMING START 1\r\n"),
    "sco": (5, "CONNECT 4 SCO\r\n"),
    "keys": (6, "AVRCP PLAY PRESS\r\nAVRCP PLAY RELEASE\r\nAVRCP PAUSE RELEASE\r\n"
                "AVRCP FORWARD RELEASE\r\nAVRCP BACKWARD RELEASE\r\n"
                "HFP-AG 0 VOLUME 12\r\nAVRCP 3 PDU_REGISTER_NOTIFICATION_RSP CHANGED "
                "VOLUME_CHANGED 60\r\n"),
    "status": (0x80, "HFP-AG 0 UNKNOWN (0): AT+IPHONEACCEV=2,1,7,2,0\\r\r\n"
                     "HFP-AG 0 UNKNOWN (0): AT+BIEV=2,85\\r\r\n"
                     "HFP-AG 0 UNKNOWN (0): AT+XAPL=05AC-1234-0100,10\\r\r\n"
                     "HFP-AG 0 UNKNOWN (0): AT+BVRA=1\\r\r\n"
                     f"NAME {MAC} \"MY NAME\"\r\nRSSI {MAC} -46\r\n"
                     f"NAME ERROR 104 {MAC} HCI_ERROR_PAGE_TIMEOUT\r\n"),
    "link-loss": (0x80, "NO CARRIER 1 ERROR 0\r\nNO CARRIER 0 ERROR 0\r\n"),
    "utf8-name": (0x80, f"NAME {MAC} \"Kopfh\u00f6rer \U0001f3a7 \u8033\u673a\u8033\u673a"
                        "\u8033\u673a\u8033\u673a\u8033\u673a\"\r\n"),
    # A 10,000-character line, then a line end: cut out and parsed like any other.
    "long-line": (0x80, "HFP-AG 0 UNKNOWN (0): AT+" + "X" * 10000 + "\r\nREADY.\r\n"),
    # More text without a line end than the parser keeps (64 Ki units): dropped and counted.
    "overflow": (0, "NAME " + "Y" * (64 * 1024 + 100) + "\r\nCONNECT 1 A2DP 19\r\n"),
    "glued": (2, "CONNECT 1 A2DP 19CONNECT 99999999999 A2DP 19\r\n\x00\x7f\xff\xfe\r\nREADY."),
}

REMOTE = [
    "AUTOCONNECT", "SEARCHCONNECT", "MACCONNECT:00:1A:7D:DA:71:13\r\n",
    "MACCONNECT:00\uff1a1A\uff1a7D\uff1aDA\uff1a71\uff1a13", "MACCONNECT:00:1A:7D",
    "DISCONNECT", "HFP", "A2DP", "RSSI", "NAME", "BATTERY", "MACADDR", "RESET", "ANSWERCALL",
    "ENDCALL", "VOLUMEADD", "VOLUMEDEL", "VOLUME 7", "VOLUME:120", "READINFO", "STARTKEY",
    "STOPKEY\r\n", "XYZRSSI\r\n", "VOLUME ADD", "\U0001f3a7BATTERY",
]

INI = {
    "config": "[General Info]\r\nDeviceSelect=0\r\n[Search Connect]\r\nPairName=1\r\n"
              "PairNameStr=\"ORV Demo\"\r\nPairRssi=1\r\nPairRssiValue=-70\r\n"
              "[Audio Test]\r\nLevel=-12.5\r\n",
    "bom-case": "\ufeff[search connect]\npairrssivalue = 0x20 \n[AutoSave]\nIsSave=1\n"
                "FilePath=results.db\n",
    "first-line-key": "AutoSave/FilePath\n[AutoSave]\nFilePath=\"C:\\data\\results.db\"\n",
    "duplicates": "[Search Connect]\nPairName=first\nPairName=second\n[Search Connect]\n"
                  "PairRssiValue=1e309\n[Audio Test]\nLevel=nan\n",
    "long-value": "[Search Connect]\nPairName=" + "x" * 400 + "\n",
    "no-section": "PairName=1\n=\n[\n[]\n[Search Connect\nPairRssiValue\n",
}


def wav(fmt_tag=1, channels=1, rate=8000, bits=16, data=b"\x00\x01" * 8, extra=None,
        chunks_before=b"", riff_size=None, data_size=None):
    block = channels * bits // 8
    fmt = struct.pack("<HHIIHH", fmt_tag, channels, rate, rate * block, block, bits)
    if extra is not None:
        fmt += struct.pack("<H", len(extra)) + extra
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    if len(fmt) % 2:
        body += b"\x00"
    body += chunks_before
    body += b"data" + struct.pack("<I", len(data) if data_size is None else data_size) + data
    if len(data) % 2:
        body += b"\x00"
    return b"RIFF" + struct.pack("<I", len(body) if riff_size is None else riff_size) + body


WAVE = {
    "pcm16-mono.wav": wav(),
    "pcm16-stereo.wav": wav(channels=2, rate=48000, data=b"\x10\x00\x20\x00" * 6),
    "float.wav": wav(fmt_tag=3, bits=32, data=struct.pack("<4f", 0.0, 0.5, -0.5, 1.0), extra=b""),
    "odd-list-chunk.wav": wav(chunks_before=b"LIST" + struct.pack("<I", 3) + b"abc\x00"),
    "odd-data.wav": wav(bits=8, data=b"\x80\x81\x82"),
    "data-size-too-big.wav": wav(data_size=0x7FFFFFF0),
    "riff-size-zero.wav": wav(riff_size=0),
    "station-written.wav": (b"RIFF" + struct.pack("<I", 56 - 8 + 4) + b"WAVE" + b"fmt "
                            + struct.pack("<I", 16)
                            + struct.pack("<HHIIHH", 1, 2, 48000, 192000, 4, 16)
                            + b"fact" + struct.pack("<II", 4, 0) + b"data"
                            + struct.pack("<I", 4) + b"\x01\x00\x02\x00"),
}


def reset(target):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    return folder


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def main():
    folder = reset("module_parser")
    for name, (mode, text) in MODULE.items():
        write(folder, name, bytes([mode]) + text.encode("utf-8", "surrogatepass"))
    folder = reset("remote_protocol")
    for i, text in enumerate(REMOTE):
        # Pieces of 64 bytes for most seeds, of 1 to 4 bytes for a few.
        piece = 63 if i % 4 else i % 4 + (i % 3)
        write(folder, f"cmd-{i:02d}", bytes([piece]) + text.encode("utf-8"))
    folder = reset("ini_reader")
    for name, text in INI.items():
        write(folder, name + ".ini", text)
    shutil.copy(os.path.join(ROOT, "demo", "config.ini"), os.path.join(folder, "demo.ini"))
    folder = reset("wave_reader")
    for name, data in WAVE.items():
        write(folder, name, data)
    folder = reset("scenario_reader")
    scenarios = os.path.join(ROOT, "sim-scenarios")
    for name in sorted(os.listdir(scenarios)):
        if name.endswith(".ini"):
            shutil.copy(os.path.join(scenarios, name), os.path.join(folder, name))
    write(folder, "bad-mac.ini", "[Adapter]\nProductId=0x5750\n[Headset1]\nName=x\nMac=00:1a\n")
    write(folder, "unknown-key.ini", "[Adapter]\nColour=blue\n")


if __name__ == "__main__":
    main()
