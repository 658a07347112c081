#!/usr/bin/env python3
"""Regenerates src/output/messages.def from the table below, and the page
docs/messages.md from it and tools/messages_en.py.

Every text the tool prints lives in that file as exact CP932 bytes, with the
readable text beside it. Edit the table (and give a new message its English
in messages_en.py), run this script, commit all three. With --check it
writes nothing and fails when a committed file differs (a test of the suite
runs it so).

Each entry carries its severity and the kind of each argument, which become
its C++ type, so that a call with the wrong arguments does not compile:
  - severity: INFO (results, traces; the default), NOTE (a notice on the
    error stream: something done or left alone on purpose; the run does not
    fail) or FAIL (the run failed);
  - %d and %c take an int, %u and %X (with their widths) an unsigned;
  - each %s takes the kind its letter in the entry's kinds string gives, in
    the order of the %s placeholders: "n" a volume name, "q" a volume name
    shown between double quotes, "p" a volume path, "h" (the default) text
    shown as it is (host names, system texts), "x" either, said at the call.
A run that shows text in the user's encoding shows volume names and paths
with the escapes of the names the tool gives host files.
"""
import pathlib
import re
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import messages_en  # noqa: E402

INFO, NOTE, FAIL = "kInfo", "kNotice", "kFailure"

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
    ("kD88FormatBad", "D88イメージの論理フォーマットが正しくありません\n", "", FAIL),
    ("kRomFormatBad", "ROMイメージの論理フォーマットが正しくありません\n", "", FAIL),
    ("kHddFormatBad", "HDDイメージの論理フォーマットが正しくありません\n", "", FAIL),
    ("kUnsupportedImage", "%s は対応していないイメージファイルです\n", "", FAIL),
    ("kImageOpenFailed", "'%s' が開けません (%s)\n", "", FAIL),
    ("kImageWriteFailed", "'%s' への書き込みに失敗しました\n", "", FAIL),
    ("kRestoredFromJournal", "'%s' を中断された書き込みから復元しました\n", "", NOTE),
    ("kPathNotFound", "'%s' が見つかりません\n", "x", FAIL),
    ("kCannotWrite", "'%s' が書き込めません\n", "x", FAIL),
    ("kDeleted", "'%s' を削除しました\n", "p"),
    ("kDone", "完了しました\n"),
    ("kNull", "(null)"),
    # Path resolution
    ("kDirectoryNotFound", "ディレクトリ '%s' が見つかりません\n", "p", FAIL),
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
    ("kBadRecordsPerBlock", "1ブロックあたりのレコード数が異状 (%d)\n", "", FAIL),
    ("kBadSystemRecord", "システムレコードが異常\n", "", FAIL),
    ("kUsedBlocksMismatch", "使用済みブロック数(%d)とビットマップ状態(%d)が一致しない\n", "", FAIL),
    ("kOutOfMemory", "Out of memory\n", "", FAIL),
    ("kCheckFailed", "Sanity check: エラー\n", "", FAIL),
    ("kCheckPassed", "Sanity check: 正常\n"),
    ("kSwappedDirectory", "SWAPされたファイルがある状態では検査ができません\n", "", FAIL),
    ("kBadDirectoryHeader", "先頭のディレクトリエントリが異常\n", "", FAIL),
    ("kEntryNameTrace", "%s\n", "n"),
    ("kContiguousFileError", "%sファイル %s でエラー\n", "hn", FAIL),
    ("kBsdFileError", "BSDファイル %s でエラー\n", "n", FAIL),
    ("kBrdFileError", "BRDファイル %s でエラー\n", "n", FAIL),
    ("kDotNotSelf", "サブディレクトリ '.' が自分を指していない\n", "", FAIL),
    ("kDotDotNotParent", "サブディレクトリ '..' が親ディレクトリを指していない\n", "", FAIL),
    ("kSubdirectoryError", "サブディレクトリ %s でエラー\n", "p", FAIL),
    ("kRecordStatusTrace", "sanity_check_record_status[%04X] = %d\n"),
    # Extraction and deletion
    ("kIsDirectory", "'%s' はディレクトリです\n", "n", FAIL),
    ("kUnsupportedMode", "対応していない型のファイルです (%02X)\n", "", FAIL),
    ("kDataDamaged", "'%s' のデータが壊れています\n", "p", FAIL),
    # Allocation
    ("kAllocBlocks", "allocate_blocks(): blocks = %d\n"),
    ("kAllocDataBlocks", "allocate_blocks(): data_blocks = %d\n"),
    ("kAllocScan", "allocate_blocks(): m = %02X, b = %02X, len = %d\n"),
    ("kAllocReserve", "allocate_blocks(): reserve bitmap %d\n"),
    ("kReleaseTrace", "Free record %04X / block %04X, blocks used = %04X\n"),
    # Store
    ("kHostFileNotFound", "%s が見つかりません\n", "", FAIL),
    ("kReadFailed", "%s の読み込みに失敗しました\n", "", FAIL),
    ("kNoSpace", "空き容量が不足しています\n", "", FAIL),
    ("kNoFileName", "セーブ先のファイル名が指定されていません\n", "", FAIL),
    ("kNameTooLong", "ファイル名 '%s' が長すぎます\n", "x", FAIL),
    ("kDirectoryFull", "ディレクトリに空きがありません\n", "", FAIL),
    # D88
    ("kNotD88", "D88ファイルではありません", "", FAIL),
    ("kDiskType", "Disk type: "),
    ("kDiskType2D", "2D\n"),
    ("kDiskType2DD", "2DD\n"),
    ("kDiskType2HD", "2HD\n"),
    ("kDiskTypeUnknown", "???\n"),
    ("kTrackUnformatted", "トラック%dがアンフォーマットです\n", "", FAIL),
    ("kSectorCount", "トラック%dのセクタ数が16ではありません(%d)\n", "", FAIL),
    ("kIgnoringSectors", "セクタ17以降を無視します…\n", "", FAIL),
    ("kSectorSize", "トラック%d, セクタ%dのサイズが256バイトではありません\n", "", FAIL),
    ("kSingleDensity", "トラック%d, セクタ%dが単密度です\n", "", FAIL),
    ("kTrackOutsideFile", "トラック%dのデータがファイルの外にあります\n", "", FAIL),
    ("kTrackBadOffset", "トラック%dの位置が不正です\n", "", FAIL),
    # Raw import
    ("kBadRecordNumber", "レコード番号の指定が正しくありません\n", "", FAIL),
    ("kDoesNotFit", "%s がボリュームに収まりません\n", "", FAIL),
    # Blank disks, subdirectories, whole trees
    ("kAlreadyExists", "'%s' は既に存在します\n", "x", FAIL),
    ("kDirectoryCreated", "ディレクトリ '%s' を作成しました\n", "p"),
    ("kDirectoryDeleted", "ディレクトリ '%s' を削除しました\n", "p"),
    ("kDirectoryNotEmpty", "ディレクトリ '%s' は空ではありません\n", "p", FAIL),
    ("kNotADirectory", "'%s' はディレクトリではありません\n", "p", FAIL),
    ("kCannotDelete", "'%s' は削除できません\n", "p", FAIL),
    ("kFilesExtracted", "%d 個のファイルを取り出しました\n"),
    ("kTreeFileLine", "%s\n", "p"),
    # The image's owner: journal, links, locks
    ("kJournalNotThisFile", "'%s' の中断された書き込みの記録がこのファイルのものではありません\n", "", FAIL),
    ("kImageHasManyNames", "'%s' には複数の名前があるため書き込めません\n", "", FAIL),
    ("kCannotLock", "'%s' をロックできません (%s)\n", "", NOTE),
    ("kCannotRestore", "'%s' の中断された書き込みを復元できません\n", "", FAIL),
    ("kReadOnlyNotRestored", "'%s' の中断された書き込みは読み取り専用のため復元できません\n", "", NOTE),
    ("kCannotSetTime", "'%s' の日付を設定できません\n", "x", FAIL),
    ("kStdoutWriteFailed", "標準出力への書き込みに失敗しました (%s)\n", "", FAIL),
    # Text in the user's encoding, options
    ("kPathNotShiftJis", "パス '%s' は Shift_JIS に変換できません\n", "", FAIL),
    ("kVersion", "tarnwick %s\n"),
    ("kHelp",
        "使い方: tarnwick [OPTION...] COMMAND IMAGE [PART [PATH [HOSTFILE]]]\n"
        "        tarnwick [-n NAME] T SOURCE TARGET\n"
        "  MZ-2500用の標準フォーマットのディスクイメージ (HDD, D88, rawフロッピー, ROM) のファイルを読み書きします:\n"
        "  一覧 L, 取り出し R, 書き込み W, 削除 D, レコードの上書き I, 空のイメージ F, サブディレクトリ M K,\n"
        "  ツリーの取り出し X と書き込み A, ディスク1枚のコピー C, 検査 E, BASICのテープファイルとリスト T\n"
        "\n"
        "コマンド (大文字小文字は問いません。L, R, X, C, T, Eは先頭の1文字だけを見ます。書き込むコマンドは\n"
        "  1文字か次の名前だけです: W write, D delete del, I import, M mkdir md, K kill, A add, F format):\n"
        "  L IMAGE [PART [PATH]]         PATHのディレクトリの一覧を表示します (省略するとルート)\n"
        "  R IMAGE PART PATH HOSTFILE    PATHのファイルを取り出します (OBJ, BTXはMZTファイルとして)\n"
        "  W IMAGE PART PATH MZTFILE     MZTファイルをPATHに書き込みます (モード2はBTX, ほかはOBJファイルとして)\n"
        "  W IMAGE PART DIR FILE...      複数のホストファイルをAと同じようにディレクトリDIRに書き込みます\n"
        "  D IMAGE PART PATH             PATHのファイルを削除します\n"
        "  I IMAGE PART RECORD HOSTFILE  ホストファイルの内容を16進のレコード番号RECORDから上書きします\n"
        "  F IMAGE [PART]                空の2DDデータディスクのイメージを作ります (.d88, またはrawの .2d, .2dd)\n"
        "  M IMAGE PART PATH             サブディレクトリを作ります\n"
        "  K IMAGE PART PATH             空のサブディレクトリを削除します\n"
        "  X IMAGE PART PATH HOSTDIR     PATHのディレクトリ以下をホストのフォルダHOSTDIRに取り出します\n"
        "                                (Aが元に戻すための記録 HOSTDIR/.tarnwick.json も書きます)\n"
        "  A IMAGE PART PATH HOSTDIR     ホストのフォルダHOSTDIR以下 (またはファイル1つ) をPATHのディレクトリに書き込みます\n"
        "  C IMAGE PART NEWIMAGE         フロッピーディスク1枚を新しいイメージファイルNEWIMAGEにします (.d88, .2d, .2dd)\n"
        "  T SOURCE TARGET               BASICのMZTファイルをリストに、リストをMZTファイルにします (イメージなし)\n"
        "  E IMAGE [PART]                ボリュームを最後まで検査し、問題ごとにその理由を表示します (何も変えません)\n"
        "  コマンドの前にVを付けると (VL, VRなど) 経過を詳しく表示します\n"
        "\n"
        "  PART: 1 - HDDイメージの前半 (HDD1, HDD3), 2 - 後半 (HDD2, HDD4)\n"
        "        複数のディスクを含むD88ファイルではディスクの番号 (1から。Lで省略するとディスクの一覧)\n"
        "  HOSTFILEに - を指定すると、WとIは標準入力から読み、Rは標準出力に書き出します (TのSOURCEとTARGETも同じ)\n"
        "  L, R, X, DではPATHの最後の名前にワイルドカード * ? [...] が使えます (\\ の次の文字はそのまま)。\n"
        "  RとXはHOSTFILEをフォルダとして一致したものをすべて書き出し、Dは一致したものをすべて削除します\n"
        "\n"
        "オプション (コマンドの前後どこにでも置けます。-- より後ろはオプションになりません):\n"
        "  -s, --status   受け付けますが何も変えません (終了ステータスはいつも結果を表します)\n"
        "  -l, --long     Lでサイズ、ロード・実行アドレスと空き容量も表示します\n"
        "  -r, --recursive\n"
        "                 Lでサブディレクトリ以下もすべて表示します\n"
        "  -j, --json     LとEの結果をJSONの文書1つとして標準出力に書き出します (UTF-8)\n"
        "      --fix      Eで、データを失わずに直せるもの (ビットマップと使用済みブロック数) を直します\n"
        "  -b, --basic    R, W, X, AでBASICのプログラム (BTX) をリスト (テキスト) として読み書きします\n"
        "                 (Xは NAME.bas に書き出し、Aは NAME.bas を読みます)\n"
        "  -t, --text     R, W, X, AでBSDファイルをテキストとして読み書きします (NAME.txt)\n"
        "  -q, --quiet    標準出力にはデータ (一覧、Rの - への出力、JSON) だけを書き出します\n"
        "  -n, --name NAME\n"
        "                 Tで作るMZTファイルのテープの名前をNAMEにします\n"
        "  -h, --help     このヘルプを表示します\n"
        "      --version  バージョンを表示します\n"
        "\n"
        "文字コード: ロケールがUTF-8ならUTF-8で表示し、PATHとリスト・テキストもUTF-8で読み書きします。\n"
        "  それ以外のロケールではShift_JIS (コードページ932) のバイトのまま読み書きします。\n"
        "  Windowsではコンソールへはそのまま読める文字で、リダイレクト先へはShift_JISで書き出します。\n"
        "  Windowsのリスト・テキストのファイルはShift_JISで、行末はCRLFです。\n"
        "\n"
        "終了ステータス: 0 成功, 1 失敗, 2 コマンドラインの誤り,\n"
        "  3 コマンドは成功したが、ボリュームの検査 (前後の検査, E) が問題を見つけた\n"
        "詳しくは man tarnwick を参照してください。\n"),
    ("kListSize", " %8u"),
    ("kListAddresses", " %04X %04X"),
    ("kListFree", "空き %u バイト (%u / %u ブロック)\n"),
    ("kListHeading", "\n%s:\n", "p"),
    # Whole trees in
    ("kNotBsdFile", "'%s' は BSD ファイルにできません\n", "", FAIL),
    ("kNotBrdFile", "'%s' は BRD ファイルにできません\n", "", FAIL),
    ("kSkipped", "'%s' を飛ばしました\n", "", NOTE),
    ("kFilesStored", "%d 個のファイルを書き込みました\n"),
    ("kManifestNotJson", "'%s' は %d 行目から JSON として読めないので、使いません\n", "", NOTE),
    ("kManifestNotTree", "'%s' は X の記録として読めないので、使いません\n", "", NOTE),
    ("kManifestMismatch", "'%s' はフォルダの中身と合わないので、使いません ('%s')\n", "", NOTE),
    # Why a command line does not fit, and why a command failed
    ("kUnknownOption", "オプション '%s' はありません\n", "", FAIL),
    ("kUnknownCommand", "コマンド '%s' はありません\n", "", FAIL),
    ("kOptionOnlyFor", "オプション '%s' は %s だけのものです\n", "", FAIL),
    ("kOptionNeedsValue", "オプション '%s' には値が必要です\n", "", FAIL),
    ("kArgumentCount", "引数の数が合いません (%s は %s 個)\n", "", FAIL),
    ("kPartOneOrTwo", "PART は 1 か 2 です\n", "", FAIL),
    ("kPathTooLong", "パスが長すぎます\n", "", FAIL),
    ("kSeeHelp", "詳しくは tarnwick --help\n", "", FAIL),
    ("kSpaceNeeded", "'%s' に %u バイト必要ですが、空きは %u バイトです\n", "x", FAIL),
    ("kDirectoryFullNamed", "ディレクトリ '%s' に空きがありません\n", "x", FAIL),
    ("kCannotWriteBecause", "'%s' が書き込めません (%s)\n", "x", FAIL),
    ("kWriteFailedBecause", "'%s' への書き込みに失敗しました (%s)\n", "", FAIL),
    ("kNotEmptyFolder", "'%s' は空のフォルダではありません\n", "", FAIL),
    ("kNotMzt", "'%s' は MZT ファイルではありません\n", "", FAIL),
    ("kNotAFile", "'%s' はファイルではありません\n", "", FAIL),
    ("kSkippedMode", "'%s' を飛ばしました (%02X)\n", "p", NOTE),
    ("kFilesExtractedSkipped", "%d 個のファイルを取り出しました (%d 個を飛ばしました)\n"),
    # Images told by their content, files of several disks, raw images, C
    ("kNotAnyImage", "'%s' は HDD, D88, ROM のどのイメージでもありません\n", "", FAIL),
    ("kNoSuchDisk", "ディスク %s はありません (1 - %u)\n", "", FAIL),
    ("kDiskOfFile", "ディスク %u/%u \"%s\"\n", "n"),
    ("kDiskListLine", "%3u  %-4s %7u  \"%s\"", "hn"),
    ("kWriteProtected", " 書き込み禁止"),
    ("kIsRawImage", "%s is raw floppy image\n"),
    ("kRawNotWritten", "'%s' は検査でエラーになったため書き込みません\n", "", FAIL),
    ("kUnknownImageForm", "'%s' の形式がわかりません\n", "", FAIL),
    ("kNotFloppy", "'%s' はフロッピーディスクのイメージではありません\n", "", FAIL),
    ("kImageCreated", "'%s' を作りました\n"),
    ("kRawFormatBad", "rawフロッピーイメージの論理フォーマットが正しくありません\n", "", FAIL),
    ("kRomNeedsItsName", "ROM イメージなら拡張子を .ROM にしてください\n", "", FAIL),
    # Programs and text files as text
    ("kNoLineNumber", "%u 行目に行番号がありません\n", "", FAIL),
    ("kCharNotShiftJis", "%u 行目の '%s' は Shift_JIS にできません\n", "", FAIL),
    ("kControlByteInLine", "%u 行目に制御文字 {%02X} があります\n", "", FAIL),
    ("kCharNotInBasic", "%u 行目の '%s' は S-BASIC の文字にありません\n", "n", FAIL),
    ("kBadBrace", "%u 行目の '{' が正しくありません\n", "", FAIL),
    ("kLineTooLong", "%u 行目が長すぎます\n", "", FAIL),
    ("kNotBasicProgram", "'%s' は BASIC のプログラムとして読めません\n", "x", FAIL),
    ("kTapeNotBasic", "'%s' は BASIC のプログラムではありません (モード %02X)\n", "x", FAIL),
    ("kNotBasic", "'%s' は BASIC のプログラムではありません\n", "p", FAIL),
    ("kNotText", "'%s' はテキストのファイルではありません\n", "p", FAIL),
    ("kTooLarge", "'%s' は大きすぎます\n", "", FAIL),
    ("kWrittenAsIs", "'%s' はテキストにせずに書き出しました\n", "p", NOTE),
    # Wildcards
    ("kNoMatch", "'%s' に一致するファイルがありません\n", "p", FAIL),
    ("kSkippedDirectory", "'%s' はディレクトリなので飛ばしました\n", "p", NOTE),
    # Examining a volume and mending its bitmap
    ("kBlocksFreeFixable", "'%s' のブロック %04X - %04X は空きになっています (--fix E で直せます)\n", "p", NOTE),
    ("kBlocksFree", "'%s' のブロック %04X - %04X は空きになっています\n", "p", NOTE),
    ("kBlocksMarked", "'%s' のブロック %04X - %04X を使用中にしました\n", "p"),
    ("kUsedBlocksSet", "使用済みブロック数を %u から %u にしました\n"),
    ("kExamineProblems", "検査: %u 件の問題\n"),
    ("kExamineClean", "検査: 問題はありません\n"),
    ("kAdviseDelete", "D で削除できます\n", "", NOTE),
    ("kCannotMendBitmap", "システムレコード (レコード 000F) をファイルかディレクトリが使っているため、ビットマップは直せません\n", "", NOTE),
    ("kWhyRecordsPerBlock", "システムレコードのバイト 255 が %02X です (1ブロックは 32 レコードまで)\n", "", NOTE),
    ("kWhyReservedPastTotal", "予約ブロック数 %u が総ブロック数 %u を超えています\n", "", NOTE),
    ("kWhyBitmapTooLong", "データブロック数 %u がビットマップに収まりません (%u まで)\n", "", NOTE),
    ("kWhyVolumeTooSmall", "総ブロック数 %u × %u レコードがボリュームの %u レコードを超えています\n", "", NOTE),
    ("kWhyUsedBlocks", "ファイルとディレクトリが使っているのは %u ブロックです (予約の %u ブロックを含む)\n", "", NOTE),
    ("kWhyOutOfMemory", "検査の表に %u バイトが必要です\n", "", NOTE),
    ("kWhyHeader", "ディレクトリ '%s' (レコード %04X) の先頭のエントリが %02X です\n", "p", NOTE),
    ("kWhySizeZero", "'%s' のサイズが 0 です\n", "p", NOTE),
    ("kWhyNoStart", "'%s' の開始レコードが 0000 です (データがありません)\n", "p", NOTE),
    ("kWhyStartInSystem", "'%s' の開始レコード %04X はシステム領域 (レコード 0000 - 0017) にあります\n", "p", NOTE),
    ("kWhyRecordInSystem", "'%s' のレコード %04X はシステム領域 (レコード 0000 - 0017) にあります\n", "p", NOTE),
    ("kWhyStartInReserved", "'%s' の開始レコード %04X は予約領域 (レコード 0000 - %04X) にあります\n", "p", NOTE),
    ("kWhyRecordInReserved", "'%s' のレコード %04X は予約領域 (レコード 0000 - %04X) にあります\n", "p", NOTE),
    ("kWhyStartOutside", "'%s' の開始レコード %04X はボリュームの外にあります (ボリュームは %u レコード)\n", "p", NOTE),
    ("kWhyRecordOutside", "'%s' のレコード %04X はボリュームの外にあります (ボリュームは %u レコード)\n", "p", NOTE),
    ("kWhyShared", "'%s' はブロック %04X を '%s' と共有しています\n", "pp", NOTE),
    ("kWhyUsedTwice", "'%s' はブロック %04X を二度使っています\n", "p", NOTE),
    ("kWhyReachedTwice", "ディレクトリ '%s' は '%s' と同じディレクトリ (レコード %04X) です\n", "pp", NOTE),
    ("kWhyDotNotSelf", "ディレクトリ '%s' の '.' はレコード %04X を指しています (自分はレコード %04X)\n", "p", NOTE),
    ("kWhyDotDotNotParent", "ディレクトリ '%s' の '..' はレコード %04X を指しています (親はレコード %04X)\n", "p", NOTE),
    ("kWhyRootDotDot", "ルートディレクトリの '..' はレコード %04X を指しています (ルートに親はありません)\n", "", NOTE),
    ("kWhyBlocksFree", "'%s' が使っている %u 個のブロックがビットマップで空きになっています\n", "p", NOTE),
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


KIND_TYPES = {"n": "arg::Name", "q": "arg::QuotedName", "p": "arg::Path", "h": "arg::HostText", "x": "arg::AnyText"}
PLACEHOLDER = re.compile(r"%([-+ #0]*)([0-9]*)([sducX%])")


def argument_types(name: str, text: str, kinds: str) -> list:
    """The C++ kinds of an entry's arguments, from its placeholders."""
    types, texts = [], 0
    for flags, width, conv in PLACEHOLDER.findall(text):
        if conv == "%":
            continue
        if conv in "dc":
            types.append("arg::Int")
        elif conv in "uX":
            types.append("arg::Unsigned")
        else:
            letter = kinds[texts] if texts < len(kinds) else "h"
            texts += 1
            types.append(KIND_TYPES[letter])
    if texts < len(kinds):
        raise SystemExit("%s: more kinds than %%s placeholders" % name)
    return types


def main() -> None:
    lines = [
        "// Generated by tools/gen_messages.py; edit the table there and rerun it.",
        "// TARNWICK_MESSAGE(name, severity, CP932 bytes as printed, readable UTF-8 text, argument kinds...)",
    ]
    for name, text, *rest in MESSAGES:
        kinds = rest[0] if rest else ""
        severity = rest[1] if len(rest) > 1 else INFO
        if kinds.strip("hnpqx"):
            raise SystemExit("%s: argument kinds are h, n, p, q and x" % name)
        types = argument_types(name, text, kinds)
        lines.append("TARNWICK_MESSAGE(%s, %s," % (name, severity))
        lines.append("    %s," % c_literal(text.encode("cp932")))
        lines.append("    u8%s%s)" % (c_literal_utf8(text), "".join(", " + t for t in types)))
    root = pathlib.Path(__file__).resolve().parent.parent
    write_or_check(root / "src/output/messages.def", "\n".join(lines) + "\n")
    write_or_check(root / "docs/messages.md", messages_page())


def c_literal_utf8(text: str) -> str:
    # Readable text kept as UTF-8 characters in the source.
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'


KIND_WORDS = {INFO: "output", NOTE: "notice", FAIL: "failure"}


def shown_text(text: str) -> str:
    """A message as a table cell shows it: its first line, "..." for more."""
    lines = [line for line in text.split("\n") if line.strip()]
    if not lines:
        return "*(a line end)*"
    shown = "`%s`" % lines[0].replace("|", "\\|")
    return shown + " ..." if len(lines) > 1 else shown


def messages_page() -> str:
    catalogue = {name: (text, rest[1] if len(rest) > 1 else INFO) for name, text, *rest in MESSAGES}
    listed = [entry[0] for _, _, entries in messages_en.SECTIONS for entry in entries]
    missing = [name for name in catalogue if name not in listed]
    unknown = [name for name in listed if name not in catalogue]
    twice = sorted({name for name in listed if listed.count(name) > 1})
    if missing or unknown or twice:
        raise SystemExit("messages_en.py: no English for %s; no message %s; twice %s" % (missing, unknown, twice))
    out = [
        "# Messages",
        "",
        "<!-- Generated by tools/gen_messages.py from the message catalogue and tools/messages_en.py. -->",
        "",
        "Every text Tarnwick prints, as it prints it (in Japanese, as the machine's own tools do), with what",
        "it means and what you can do. `%s`, `%d`, `%u`, `%c` and `%X` (with their widths) stand for what",
        "the run fills in: a name, a path, a number. **output** lines go to standard output (the listing,",
        "confirmations, traces), **notices** to standard error without failing the run, and **failures**",
        "to standard error, the run then ending with exit status 1 (2 for a command line that does not",
        "fit).",
    ]
    for title, intro, entries in messages_en.SECTIONS:
        out += ["", "## " + title, ""]
        if intro:
            out += [intro, ""]
        out += ["| Message | Kind | Meaning | What to do |", "|---|---|---|---|"]
        for name, meaning, action in entries:
            text, severity = catalogue[name]
            out.append("| %s | %s | %s | %s |" % (shown_text(text), KIND_WORDS[severity], meaning, action or "-"))
    return "\n".join(out) + "\n"


def write_or_check(path: pathlib.Path, text: str) -> None:
    # With --check, only compares: the committed file must be what this
    # script makes of its table.
    if "--check" not in sys.argv[1:]:
        path.write_text(text, encoding="utf-8")
    elif not path.exists() or path.read_text(encoding="utf-8") != text:
        raise SystemExit("%s is not what %s makes: run it and commit the result" % (path.name, pathlib.Path(__file__).name))


if __name__ == "__main__":
    main()
