// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The codes of the message catalogue that msg.sql fills, named by what the
// stored text says. The caller's text goes in front of it.
#include <array>
#include <cstdint>

namespace msifter::msgcode {

inline constexpr int16_t SizeLimitsWrong = 1;     // a whole sentence
inline constexpr int16_t HelpNotShown = 14;       // a whole sentence
inline constexpr int16_t PleaseChoose = 37;       // "...を" + "選択して下さい。"
inline constexpr int16_t NotReadCorrectly = 47;   // "過去の設定データを" + ...
inline constexpr int16_t HomePageNotOpened = 48;  // a whole sentence
inline constexpr int16_t DoesNotExist = 58;       // "...が" + "存在しません。"
inline constexpr int16_t NotChosen = 59;          // "...が" + "選択されていません。"
inline constexpr int16_t CannotCreate = 60;  // "実行の記録（...）" + "を作成できません。..."
inline constexpr int16_t SourceBusy = 61;  // "移動元のフォルダ（...）" + "は、別の実行が..."
inline constexpr int16_t CaptureOnly = 62;  // an option + "は、撮影日時で名前を付ける時だけ..."
inline constexpr int16_t NotYetUsable = 63;  // an option + "は、この版ではまだ使えません。"
inline constexpr int16_t WrittenWrong = 64;  // an option's text + "の書き方が正しくありません。"
inline constexpr int16_t NotWithSerial = 65;  // an option + "は、連番の名前と一緒には..."
inline constexpr int16_t FolderTemplateWrong =
    66;  // "フォルダの指定「...」（...）" + "は使えません。..."
inline constexpr int16_t BackupInside = 67;  // an option + "は、移動元や移動先と同じ..."

inline constexpr std::array<int16_t, 15> InUse = {
    SizeLimitsWrong, HelpNotShown, PleaseChoose,  NotReadCorrectly,    HomePageNotOpened,
    DoesNotExist,    NotChosen,    CannotCreate,  SourceBusy,          CaptureOnly,
    NotYetUsable,    WrittenWrong, NotWithSerial, FolderTemplateWrong, BackupInside};

}  // namespace msifter::msgcode
