#!/usr/bin/env python3
"""Regenerates src/output/messages.def from the table below.

Every text the tool prints lives in that file as exact CP932 bytes, with the
readable text beside it. Edit the table, run this script, commit both.

An entry may name, after its text, what each of its arguments is, one letter
an argument, in order: "n" a volume name, "q" a volume name in double quotes,
"p" a volume path, "h" (and every argument past the letters given) text
shown as it is: host names, system texts, numbers. A run that shows text in
the user's encoding shows volume names and paths with the escapes of the
names the tool gives host files.
"""
import pathlib

MESSAGES = [
    # Front end
    ("kUsage", "\n"
        "Tarnwick <COMMAND> <HDDFILE> <1,2> <PATH> <MZTFILE>\n"
        "  MZ-2500用の標準フォーマットのHDDイメージに対してファイルを読み書きします\n"
        "    第1引数: コマンド\n"
        "             R - HDDイメージ内の<PATH>で指定されるファイルを取り出します\n"
        "             W - HDDイメージ内の<PATH>で指定されるファイルに<MZTFILE>を書き込みます\n"
        "             D - HDDイメージ内の<PATH>で指定されるファイルを削除します\n"
        "             L - HDDイメージ内の<PATH>で指定されるディレクトリの一覧を表示します\n"
        "                 第3引数以降を省略すると、先頭パーティションのルートディレクトリの一覧を表示します\n"
        "    第2引数: HDDイメージ ファイル名\n"
        "    第3引数: 1 - HDDイメージファイルの前半(HDD1,HDD3)を操作する\n"
        "             2 - HDDイメージファイルの後半(HDD2,HDD4)を操作する\n"
        "    第4引数: HDDイメージ内のファイルを示すパス\n"
        "    第5引数: MZTイメージ ファイル名\n"),
    ("kEchoCommand", "コマンド: %c\n"),
    ("kEchoImage", "HDD File: %s\n"),
    ("kEchoPartition", "HDD Num : %d\n"),
    ("kEchoPath", "MZ PATH : %s\n", "p"),
    ("kEchoHostFile", "MZT File: %s\n"),
    ("kIsD88Image", "%s is D88 image\n"),
    ("kIsRomImage", "%s is ROM image\n"),
    ("kIsHddImage", "%s is HDD image\n"),
    ("kD88FormatBad", "D88イメージの論理フォーマットが正しくありません\n"),
    ("kRomFormatBad", "ROMイメージの論理フォーマットが正しくありません\n"),
    ("kHddFormatBad", "HDDイメージの論理フォーマットが正しくありません\n"),
    ("kUnsupportedImage", "%s は対応していないイメージファイルです\n"),
    ("kImageOpenFailed", "'%s' が開けません (%s)\n"),
    ("kImageWriteFailed", "'%s' への書き込みに失敗しました\n"),
    ("kRestoredFromJournal", "'%s' を中断された書き込みから復元しました\n"),
    ("kPathNotFound", "'%s' が見つかりません\n", "p"),
    ("kCannotWrite", "'%s' が書き込めません\n"),
    ("kDeleted", "'%s' を削除しました\n", "p"),
    ("kDone", "完了しました\n"),
    ("kNull", "(null)"),
    # Path resolution
    ("kDirectoryNotFound", "ディレクトリ '%s' が見つかりません\n", "p"),
    ("kFileTrace", "FILE: %s\n", "n"),
    ("kFileFound", "File '%s' found.\n", "n"),
    ("kNameError", "<error>"),
    # Listing
    ("kListLabel", " %s%c "),
    ("kListName", "%-18s", "q"),
    ("kListStamp", "'%02X/%02X/%02X %02X:%02X"),
    ("kListStartRecord", " %04X"),
    ("kNewline", "\n"),
    # Consistency check
    ("kBadRecordsPerBlock", "1ブロックあたりのレコード数が異状 (%d)\n"),
    ("kBadSystemRecord", "システムレコードが異常\n"),
    ("kUsedBlocksMismatch", "使用済みブロック数(%d)とビットマップ状態(%d)が一致しない\n"),
    ("kOutOfMemory", "Out of memory\n"),
    ("kCheckFailed", "Sanity check: エラー\n"),
    ("kCheckPassed", "Sanity check: 正常\n"),
    ("kSwappedDirectory", "SWAPされたファイルがある状態では検査ができません\n"),
    ("kBadDirectoryHeader", "先頭のディレクトリエントリが異常\n"),
    ("kEntryNameTrace", "%s\n", "n"),
    ("kContiguousFileError", "%sファイル %s でエラー\n", "hn"),
    ("kBsdFileError", "BSDファイル %s でエラー\n", "n"),
    ("kBrdFileError", "BRDファイル %s でエラー\n", "n"),
    ("kSubdirectoryPath", "%s/%s"),
    ("kDotNotSelf", "サブディレクトリ '.' が自分を指していない\n"),
    ("kDotDotNotParent", "サブディレクトリ '..' が親ディレクトリを指していない\n"),
    ("kSubdirectoryError", "サブディレクトリ %s でエラー\n", "p"),
    ("kRecordStatusTrace", "sanity_check_record_status[%04X] = %d\n"),
    # Extraction and deletion
    ("kIsDirectory", "'%s' はディレクトリです\n", "n"),
    ("kUnsupportedMode", "対応していない型のファイルです (%02X)\n"),
    ("kDataDamaged", "'%s' のデータが壊れています\n", "p"),
    # Allocation
    ("kAllocBlocks", "allocate_blocks(): blocks = %d\n"),
    ("kAllocDataBlocks", "allocate_blocks(): data_blocks = %d\n"),
    ("kAllocScan", "allocate_blocks(): m = %02X, b = %02X, len = %d\n"),
    ("kAllocReserve", "allocate_blocks(): reserve bitmap %d\n"),
    ("kReleaseTrace", "Free record %04X / block %04X, blocks used = %04X\n"),
    # Store
    ("kHostFileNotFound", "%s が見つかりません\n"),
    ("kReadFailed", "%s の読み込みに失敗しました\n"),
    ("kNoSpace", "空き容量が不足しています\n"),
    ("kNoFileName", "セーブ先のファイル名が指定されていません\n"),
    ("kNameTooLong", "ファイル名 '%s' が長すぎます\n", "p"),
    ("kDirectoryFull", "ディレクトリに空きがありません\n"),
    # D88
    ("kNotD88", "D88ファイルではありません"),
    ("kDiskType", "Disk type: "),
    ("kDiskType2D", "2D\n"),
    ("kDiskType2DD", "2DD\n"),
    ("kDiskType2HD", "2HD\n"),
    ("kDiskTypeUnknown", "???\n"),
    ("kTrackUnformatted", "トラック%dがアンフォーマットです\n"),
    ("kSectorCount", "トラック%dのセクタ数が16ではありません(%d)\n"),
    ("kIgnoringSectors", "セクタ17以降を無視します…\n"),
    ("kSectorSize", "トラック%d, セクタ%dのサイズが256バイトではありません\n"),
    ("kSingleDensity", "トラック%d, セクタ%dが単密度です\n"),
    ("kTrackOutsideFile", "トラック%dのデータがファイルの外にあります\n"),
    ("kTrackBadOffset", "トラック%dの位置が不正です\n"),
    # Raw import
    ("kBadRecordNumber", "レコード番号の指定が正しくありません\n"),
    ("kDoesNotFit", "%s がボリュームに収まりません\n"),
    # Blank disks, subdirectories, whole trees
    ("kAlreadyExists", "'%s' は既に存在します\n", "p"),
    ("kDirectoryCreated", "ディレクトリ '%s' を作成しました\n", "p"),
    ("kDirectoryDeleted", "ディレクトリ '%s' を削除しました\n", "p"),
    ("kDirectoryNotEmpty", "ディレクトリ '%s' は空ではありません\n", "p"),
    ("kNotADirectory", "'%s' はディレクトリではありません\n", "p"),
    ("kCannotDelete", "'%s' は削除できません\n", "p"),
    ("kFilesExtracted", "%d 個のファイルを取り出しました\n"),
    ("kTreeFileLine", "%s\n", "p"),
    # The image's owner: journal, links, locks
    ("kJournalNotThisFile", "'%s' の中断された書き込みの記録がこのファイルのものではありません\n"),
    ("kImageHasManyNames", "'%s' には複数の名前があるため書き込めません\n"),
    ("kCannotLock", "'%s' をロックできません (%s)\n"),
    ("kCannotRestore", "'%s' の中断された書き込みを復元できません\n"),
    ("kReadOnlyNotRestored", "'%s' の中断された書き込みは読み取り専用のため復元できません\n"),
    ("kCannotSetTime", "'%s' の日付を設定できません\n"),
    ("kStdoutWriteFailed", "標準出力への書き込みに失敗しました (%s)\n"),
    # Text in the user's encoding, options
    ("kPathNotShiftJis", "パス '%s' は Shift_JIS に変換できません\n"),
    ("kVersion", "tarnwick %s\n"),
    ("kHelp",
        "使い方: tarnwick [OPTION...] COMMAND IMAGE [PART [PATH [HOSTFILE]]]\n"
        "  MZ-2500用の標準フォーマットのディスクイメージ (HDD, D88, ROM) のファイルを読み書きします\n"
        "\n"
        "コマンド (先頭の1文字だけを見ます。大文字小文字は問いません):\n"
        "  L IMAGE [PART [PATH]]         PATHのディレクトリの一覧を表示します (省略するとルート)\n"
        "  R IMAGE PART PATH HOSTFILE    PATHのファイルを取り出します (OBJ, BTXはMZTファイルとして)\n"
        "  W IMAGE PART PATH MZTFILE     MZTファイルをOBJファイルとしてPATHに書き込みます\n"
        "  D IMAGE PART PATH             PATHのファイルを削除します\n"
        "  I IMAGE PART RECORD HOSTFILE  ホストファイルの内容を16進のレコード番号RECORDから上書きします\n"
        "  F IMAGE [PART]                空の2DDデータディスクのD88イメージを作ります\n"
        "  M IMAGE PART PATH             サブディレクトリを作ります\n"
        "  K IMAGE PART PATH             空のサブディレクトリを削除します\n"
        "  X IMAGE PART PATH HOSTDIR     PATHのディレクトリ以下をホストのフォルダHOSTDIRに取り出します\n"
        "  A IMAGE PART PATH HOSTDIR     ホストのフォルダHOSTDIR以下をPATHのディレクトリに書き込みます\n"
        "  コマンドの前にVを付けると (VL, VRなど) 経過を詳しく表示します\n"
        "\n"
        "  PART: 1 - HDDイメージの前半 (HDD1, HDD3), 2 - 後半 (HDD2, HDD4)\n"
        "  HOSTFILEに - を指定すると、WとIは標準入力から読み、Rは標準出力に書き出します\n"
        "\n"
        "オプション (コマンドより前に置きます):\n"
        "  -s, --status   終了ステータスで結果を返します (0: 成功, 1: 失敗があった, 2: コマンドラインの誤り)\n"
        "  -l, --long     Lでサイズ、ロード・実行アドレスと空き容量も表示します\n"
        "  -h, --help     このヘルプを表示します\n"
        "      --version  バージョンを表示します\n"
        "\n"
        "文字コード: ロケールがUTF-8ならUTF-8で表示し、PATHもUTF-8で読みます。\n"
        "  それ以外のロケールではShift_JIS (コードページ932) のバイトのまま読み書きします。\n"
        "  Windowsではコンソールへはそのまま読める文字で、リダイレクト先へはShift_JISで書き出します。\n"
        "詳しくは man tarnwick を参照してください。\n"),
    ("kListSize", " %8u"),
    ("kListAddresses", " %04X %04X"),
    ("kListFree", "空き %u バイト (%u / %u ブロック)\n"),
    # Whole trees in
    ("kNotBsdFile", "'%s' は BSD ファイルにできません\n"),
    ("kNotBrdFile", "'%s' は BRD ファイルにできません\n"),
    ("kSkipped", "'%s' を飛ばしました\n"),
    ("kNameNotUsable", "ファイル名 '%s' は使えません\n"),
    ("kFilesStored", "%d 個のファイルを書き込みました\n"),
]


def c_literal(data: bytes) -> str:
    out = '"'
    prev_hex = False
    for b in data:
        ch = chr(b)
        if b >= 0x80:
            out += "\\x%02X" % b
            prev_hex = True
            continue
        if prev_hex and ch in "0123456789abcdefABCDEF":
            out += '" "'
        prev_hex = False
        if ch == "\n":
            out += "\\n"
        elif ch == '"':
            out += '\\"'
        elif ch == "\\":
            out += "\\\\"
        else:
            out += ch
    return out + '"'


def main() -> None:
    lines = [
        "// Generated by tools/gen_messages.py; edit the table there and rerun it.",
        "// TARNWICK_MESSAGE(name, CP932 bytes as printed, readable UTF-8 text, argument kinds)",
    ]
    for name, text, *args in MESSAGES:
        kinds = args[0] if args else ""
        if kinds.strip("hnpq"):
            raise SystemExit("%s: argument kinds are h, n, p and q" % name)
        lines.append("TARNWICK_MESSAGE(%s," % name)
        lines.append("    %s," % c_literal(text.encode("cp932")))
        lines.append("    u8%s," % c_literal_utf8(text))
        lines.append('    "%s")' % kinds)
    root = pathlib.Path(__file__).resolve().parent.parent
    (root / "src/output/messages.def").write_text("\n".join(lines) + "\n", encoding="utf-8")


def c_literal_utf8(text: str) -> str:
    # Readable text kept as UTF-8 characters in the source.
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'


if __name__ == "__main__":
    main()
