// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/failure.h"

#include <cerrno>
#include <filesystem>
#include <map>
#include <system_error>

#include "common/app.h"
#include "common/thread_owner.h"

namespace msifter::common {

namespace {

// Numbers the program can meet, with their standard descriptions.
const std::map<int32_t, const char*>& descriptions() {
  static const std::map<int32_t, const char*> table = {
      {err::ReturnWithoutGosub, "GoSub なしで Return が実行されました。"},
      {err::InvalidArgument, "プロシージャの呼び出し、または引数が不正です。"},
      {err::Overflow, "オーバーフローしました。"},
      {err::OutOfMemory, "メモリが不足しています。"},
      {err::Subscript, "インデックスが有効範囲にありません。"},
      {err::DivisionByZero, "0 で除算しました。"},
      {err::TypeMismatch, "型が一致しません。"},
      {err::OutOfStringSpace, "文字列領域が不足しています。"},
      {err::Internal, "内部エラーです。"},
      {err::BadFileName, "ファイル名または番号が不正です。"},
      {err::FileNotFound, "ファイルが見つかりません。"},
      {err::BadFileMode, "ファイル モードが不正です。"},
      {err::FileAlreadyOpen, "ファイルは既に開かれています。"},
      {err::DeviceIO, "デバイス I/O エラーです。"},
      {err::FileExists, "既に同名のファイルが存在しています。"},
      {err::DiskFull, "ディスクの空き容量が不足しています。"},
      {err::InputPastEnd, "ファイルにこれ以上データがありません。"},
      {err::TooManyFiles, "ファイルが多すぎます。"},
      {err::DeviceUnavailable, "デバイスが準備されていません。"},
      {err::PermissionDenied, "書き込みできません。"},
      {err::DiskNotReady, "ディスクが準備されていません。"},
      {err::RenameAcrossDisks, "ディスク名が異なります。名前は変更できません。"},
      {err::PathFileAccess, "パス名またはファイル名が無効です。"},
      {err::PathNotFound, "パスが見つかりません。"},
      {err::ObjectRequired, "オブジェクトが必要です。"},
      {err::Automation, "オートメーション エラーです。"},
  };
  return table;
}

ErrorRecord& record() {
  static ErrorRecord current;
  detail::currentErrorOwner().touch();
  return current;
}

}  // namespace

std::string standardDescription(int32_t number) {
  const auto& table = descriptions();
  const auto it = table.find(number);
  if (it != table.end()) return it->second;
  return "アプリケーション定義またはオブジェクト定義のエラーです。";
}

int32_t errorNumberFromErrno(int errnoValue) {
  switch (errnoValue) {
    case ENOENT: return err::FileNotFound;
    case ENOTDIR: return err::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return err::PermissionDenied;
    case EEXIST:
    case ENOTEMPTY: return err::FileExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return err::DiskFull;
    case EXDEV: return err::RenameAcrossDisks;
    case EIO: return err::DeviceIO;
    case EMFILE:
    case ENFILE: return err::TooManyFiles;
    case ENOMEM: return err::OutOfMemory;
    case ENAMETOOLONG: return err::BadFileName;
    case EINVAL: return err::InvalidArgument;
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM: return err::DeviceUnavailable;
    default: return err::PathFileAccess;
  }
}

ErrorRecord& currentError() { return record(); }

// Called before every guarded step: a record that is clear already stays as it is.
void clearError() {
  ErrorRecord& r = record();
  if (r.number == 0 && r.helpContext == 0 && r.description.empty() && r.source.empty() &&
      r.helpFile.empty())
    return;
  r = ErrorRecord{};
}

void raiseError(int32_t number) {
  if (number == 0) number = err::InvalidArgument;
  ErrorRecord& r = record();
  r.number = number;
  r.description = standardDescription(number);
  r.source = kAppTitle;
  r.helpFile.clear();
  r.helpContext = 0;
}

RuntimeFailure::RuntimeFailure(int32_t number)
    : std::runtime_error(standardDescription(number)), number_(number) {}

void fail(int32_t number) { throw RuntimeFailure(number); }

void failErrno(int errnoValue) { fail(errorNumberFromErrno(errnoValue)); }

namespace detail {

ThreadOwner& currentErrorOwner() {
  static ThreadOwner owner("CurrentError");
  return owner;
}

void recordCaughtFailure() {
  int32_t number = err::Internal;
  try {
    throw;
  } catch (const RuntimeFailure& e) {
    number = e.number();
  } catch (const std::bad_alloc&) {
    number = err::OutOfMemory;
  } catch (const std::filesystem::filesystem_error& e) {
    number = errorNumberFromErrno(e.code().value());
  } catch (const std::system_error& e) {
    number = e.code().category() == std::generic_category() ||
                     e.code().category() == std::system_category()
                 ? errorNumberFromErrno(e.code().value())
                 : err::Internal;
  } catch (const std::invalid_argument&) {
    number = err::TypeMismatch;
  } catch (const std::out_of_range&) {
    number = err::Subscript;
  } catch (const std::overflow_error&) {
    number = err::Overflow;
  } catch (...) {
    number = err::Internal;
  }
  raiseError(number);
}

}  // namespace detail

}  // namespace msifter::common
