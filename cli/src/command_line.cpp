// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <iostream>
#include <limits>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "cli/console_ui.h"
#include "cli/folder_arguments.h"
#include "common/failure.h"
#include "common/text.h"
#include "common/version.h"
#include "options/option_table.h"

namespace msifter::cli {

namespace {

constexpr const char* kHelpHint = "使い方は m_sifter-cli --help で表示できます。";

// A whole number from 0 to 2,147,483,647, as the window's boxes take them.
const CLI::Validator kWholeNumber(
    [](std::string& text) -> std::string {
      const bool digits = !text.empty() && text.size() <= 10 &&
                          text.find_first_not_of("0123456789") == std::string::npos;
      if (digits && std::stoll(text) <= std::numeric_limits<int32_t>::max()) return "";
      return "0 から 2147483647 までの整数を指定して下さい（" + text + "）";
    },
    "");

// The command line's names of the image types, as a user lists them.
std::string imageTypeNames() {
  std::string names;
  for (const options::ImageTypeRow& row : options::kImageTypes)
    names += (names.empty() ? "" : ",") + common::splitAt(row.names, ",").front();
  return names;
}

const CLI::Validator kImageTypes(
    [](std::string& text) -> std::string {
      for (const std::string& name : common::splitAt(text, ",")) {
        if (!options::imageTypeNamed(name))
          return "画像の種類は " + imageTypeNames() + " から選んでカンマで区切って下さい（" + name +
                 "）";
      }
      return "";
    },
    "");

// The items of a list of extensions. On the command line "," also separates
// them, as a ";" typed in a shell ends the command; a separator at the end
// leaves no item.
std::vector<std::string> listItems(std::string& text) {
  std::replace(text.begin(), text.end(), ',', ';');
  std::vector<std::string> items = common::splitAt(text, ";");
  if (items.size() > 1 && items.back().empty()) items.pop_back();
  return items;
}

// The window's list of other extensions. An empty item would take every
// file, so only a separator at the end may be left over.
const CLI::Validator kExtensionList(
    [](std::string& text) -> std::string {
      const std::vector<std::string> items = listItems(text);
      if (std::find(items.begin(), items.end(), "") == items.end()) return "";
      return "拡張子を txt,doc のように , か ; で区切って指定して下さい（空の項目があります）";
    },
    "");

// Exact extensions: what follows the last dot of a name, so never a dot of
// their own; one typed with its dot (".cr2") is taken without it.
const CLI::Validator kExactExtensions(
    [](std::string& text) -> std::string {
      std::vector<std::string> items = listItems(text);
      for (std::string& item : items) {
        if (!item.empty() && item.front() == '.') item.erase(0, 1);
        if (item.empty())
          return "拡張子を cr2,nef のようにカンマで区切って指定して下さい（空の項目があります）";
        if (item.find_first_of("./") != std::string::npos)
          return "拡張子は名前の最後の . より後ろの部分です。. や / は含められません（" + item +
                 "）";
      }
      text.clear();
      for (const std::string& item : items) text += (text.empty() ? "" : ";") + item;
      return "";
    },
    "");

const CLI::Validator kTimeShift(
    [](std::string& text) -> std::string {
      if (options::parseTimeShift(text)) return "";
      return "撮影日時のずれは +1:00 や -0:30:15 のように [+-]時:分[:秒] で指定して下さい（" +
             text + "）";
    },
    "");

// The words of a table of choices (the stamp, the video time), joined.
template <options::TableChoice Choice>
std::string wordsOf(const char* separator) {
  std::string words;
  for (const auto& row : options::choicesOf(Choice{}))
    words += (words.empty() ? "" : separator) + std::string(row.word);
  return words;
}

// An option whose value is the word of one of the choices.
template <options::TableChoice Choice>
CLI::Option* wordOption(CLI::App& command, const char* flag, Choice& field) {
  return command
      .add_option_function<std::string>(
          flag, [&field](const std::string& word) { field = *options::choiceNamed<Choice>(word); })
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            if (options::choiceNamed<Choice>(text)) return "";
            return wordsOf<Choice>(" か ") + " を指定して下さい（" + text + "）";
          },
          ""))
      ->type_name(wordsOf<Choice>("|"));
}

// The first option name in a CLI11 message, for a message of our own.
std::string optionNamed(const std::string& message) {
  const auto start = message.find("--");
  if (start == std::string::npos) return "";
  return message.substr(start, message.find_first_of(" :=", start) - start);
}

// CLI11's own messages are English; the user is told in Japanese.
std::string usageMessage(const CLI::ParseError& e) {
  const std::string message = e.what();
  const std::string option = optionNamed(message);
  if (dynamic_cast<const CLI::ValidationError*>(&e) != nullptr) return message;
  if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr)
    return "コマンド（run、history、undo）を指定して下さい。";
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr) {
    if (option.empty()) return "引数が多すぎます。";
    return option + " の値がありません。";
  }
  if (option.empty()) return "コマンドラインが正しくありません。";
  return option + " の指定が正しくありません。";
}

// CLI11's help with Japanese headings; a pair of switches shows as
// "--copy,--move" (CLI11 marks the second one "{false}").
class HelpFormatter final : public CLI::Formatter {
 public:
  std::string make_option_name(const CLI::Option* option, bool positional) const override {
    std::string name = CLI::Formatter::make_option_name(option, positional);
    if (const auto mark = name.find("{false}"); mark != std::string::npos) name.erase(mark, 7);
    return name;
  }
};

std::shared_ptr<CLI::Formatter> japaneseFormatter() {
  auto formatter = std::make_shared<HelpFormatter>();
  formatter->label("Usage", "使い方");
  formatter->label("OPTIONS", "オプション");
  formatter->label("Positionals", "引数");
  formatter->label("SUBCOMMAND", "コマンド");
  formatter->label("SUBCOMMANDS", "コマンド");
  formatter->label("REQUIRED", "必須");
  formatter->label("INT", "N");
  formatter->label("Excludes", "同時に指定できないもの");
  formatter->column_width(34);
  return formatter;
}

// Each option of `run` with its help, in the order the help lists them: a
// row of the option table by its name. "{types}" stands for the image types.
struct RowHelp {
  const char* row;
  const char* text;
};
constexpr RowHelp kArguments[] = {{"serverDir", "移動元のフォルダ"},
                                  {"receiveDir", "移動先のフォルダ"}};
constexpr RowHelp kRunOptions[] = {
    {"allFile", "すべてのファイルを対象にする"},
    {"images", "対象にする画像の種類（{types} からカンマ区切り）"},
    {"extensions",
     "拡張子（名前の最後の . より後ろ）がこのどれかのファイルも対象にする（cr2,nef のようにカンマ"
     "区切り、大文字小文字は区別しない）"},
    {"otherText",
     "名前のどこかにこの文字列を含むファイルも対象にする（ウィンドウの「その他」と同じ。txt,doc "
     "のように , か ; 区切り、* ? などのワイルドカードも使える）"},
    {"subFolder", "サブフォルダも検索する（--no-subfolders: しない）"},
    {"minSizeKb", "この KB 未満のファイルは対象にしない"},
    {"maxSizeKb", "この KB を超えるファイルは対象にしない"},
    {"countLimit", "この件数で終了する"},
    {"copyFiles", "移動せずにコピーする（--move: 移動する）"},
    {"slowly", "1 ファイルごとに 0.5 秒休む"},
    {"renameMethod", "名前の頭を連番にする（--date-time: 日時と番号。既定）"},
    {"extFix", "拡張子を小文字にし、jpeg を jpg にする"},
    {"stamp", "日時の名前に使う日時: transfer（移動した日時、既定）か capture（撮影日時）"},
    {"timeShift", "撮影日時をこれだけずらす（カメラの時計のずれ。--stamp=capture と一緒に）"},
    {"videoTime",
     "動画のヘッダの日時を utc（既定）か local（カメラの時計のまま）で読む（--stamp=capture "
     "と一緒に）"},
    {"folders",
     "移動先の中に日付のフォルダを作って入れる（%Y/%m/%d のように。%Y %m %d %H %M %S %%、/ "
     "で階層を区切る）"},
    {"groups",
     "撮影日時の名前で、名前の元が同じ写真と付属ファイル（IMG_0001.CR2, .JPG, .XMP など）に同じ"
     "頭を付ける（既定。--no-groups: 1 ファイルずつ）"},
    {"skipIdentical", "同じ内容のファイルが移動先にあるファイルは移動もコピーもしない"},
    {"backupDir",
     "各ファイルをこのフォルダにも同じ名前でコピーする（移動では、両方に書き込めてから移動元を削除"
     "する）"},
    {"dryRun", "何も変えずに、各ファイルが付けられる名前を表示する"},
};

std::string helpText(const RowHelp& help) {
  std::string text = help.text;
  if (const auto at = text.find("{types}"); at != std::string::npos)
    text.replace(at, 7, imageTypeNames());
  return text;
}

// The options of `run`, each put straight into the RunOptions of the
// request; a switch as a pair of flags (--copy / --move), the last one
// given winning. After parsing, apply() notes which rows were given.
class RunOptionFlags {
 public:
  explicit RunOptionFlags(RunRequest& request) : request_(request) {}

  void add(CLI::App& command, const RowHelp& help) {
    const options::OptionRow& row = *options::optionRow(help.row);
    Added& added = added_.emplace_back(Added{&row, nullptr, false, nullptr});
    options::RunOptions& given = request_.given;
    added.option = std::visit(
        options::Overloaded{
            [&](std::string options::RunOptions::*m) {
              // A template of folders is taken as typed; the table's check
              // says what is wrong with it.
              if (m == &options::RunOptions::folders)
                return command.add_option(row.flag, given.*m)->type_name("TEMPLATE");
              return text(
                  command, row, given.*m,
                  m == &options::RunOptions::extensions ? kExactExtensions : kExtensionList);
            },
            [&](bool options::RunOptions::*m) {
              if (row.offFlag == nullptr) return command.add_flag(row.flag, given.*m);
              added.set = [&given, m](bool on) { given.*m = on; };
              return command.add_flag(std::string(row.flag) + ",!" + row.offFlag, added.value);
            },
            [&](int32_t options::RunOptions::*m) {
              return command.add_option(row.flag, given.*m)->check(kWholeNumber);
            },
            [&](options::ImageTypes options::RunOptions::*m) { return images(command, row, m); },
            [&](options::RenameMethod options::RunOptions::*m) {
              added.set = [&given, m](bool on) {
                given.*m =
                    on ? options::RenameMethod::SerialNumber : options::RenameMethod::DateTime;
              };
              return command.add_flag(std::string(row.flag) + ",!" + row.offFlag, added.value);
            },
            [&](options::StampChoice options::RunOptions::*m) {
              return wordOption(command, row.flag, given.*m);
            },
            [&](options::TimeShift options::RunOptions::*m) {
              return command
                  .add_option_function<std::string>(row.flag,
                                                    [&given, m](const std::string& text) {
                                                      given.*m = *options::parseTimeShift(text);
                                                    })
                  ->check(kTimeShift)
                  ->type_name("[+-]H:MM[:SS]");
            },
            [&](options::VideoTime options::RunOptions::*m) {
              return wordOption(command, row.flag, given.*m);
            },
            [](std::monostate) -> CLI::Option* { return nullptr; },
        },
        row.field);
    added.option->description(helpText(help));
  }

  void apply() {
    for (Added& added : added_) {
      if (added.option->count() == 0) continue;
      // An empty folder (a shell variable left unset) leaves the saved one.
      if (added.row->flag[0] != '-' && added.option->as<std::string>().empty()) continue;
      if (added.set) added.set(added.value);
      if (added.row->turnsOn != nullptr) request_.given.*added.row->turnsOn = true;
      request_.givenRows.emplace_back(added.row->name);
    }
  }

 private:
  struct Added {
    const options::OptionRow* row;
    CLI::Option* option;
    bool value;                     // of a pair of flags
    std::function<void(bool)> set;  // what a pair of flags sets
  };

  static CLI::Option* text(CLI::App& command, const options::OptionRow& row, std::string& field,
                           const CLI::Validator& list) {
    CLI::Option* option = command.add_option(row.flag, field);
    if (row.flag[0] != '-') return option->type_name("");
    return option->transform(list)->type_name("LIST");
  }

  CLI::Option* images(CLI::App& command, const options::OptionRow& row,
                      options::ImageTypes options::RunOptions::*m) {
    options::RunOptions& given = request_.given;
    return command
        .add_option_function<std::string>(
            row.flag,
            [&given, m](const std::string& list) {
              for (const std::string& name : common::splitAt(list, ","))
                (given.*m).set(*options::imageTypeNamed(name), true);
            })
        ->check(kImageTypes)
        ->type_name("LIST");
  }

  RunRequest& request_;
  std::list<Added> added_;  // flags keep pointers to their values
};

void addRunOptions(CLI::App& run, RunRequest& request, RunOptionFlags& flags) {
  for (const RowHelp& help : kArguments) flags.add(run, help);
  run.add_flag("--from-settings", request.fromSettings,
               "ウィンドウで最後に実行した設定（フォルダと取り込みの設定も）を使い、ほかのオプショ"
               "ンで上書きする");
  for (const RowHelp& help : kRunOptions) flags.add(run, help);
  run.add_flag("--quiet", request.quiet, "エラーのほかは何も表示しない");
  run.add_flag("--json", request.json, "予定または結果を JSON で標準出力に書く");
}

const CLI::Option* longOption(const CLI::App& command, const std::string& name) {
  for (const CLI::Option* option : command.get_options()) {
    if (option->check_lname(name)) return option;
  }
  return nullptr;
}

const CLI::App* subcommandNamed(const CLI::App& app, const std::string& name) {
  const auto named =
      app.get_subcommands([&name](const CLI::App* c) { return c->get_name() == name; });
  return named.empty() ? nullptr : named.front();
}

// CLI11 takes the argument after an option as its value, whatever it is
// (`--other --dry-run`), and reads `--other=` as no value, which then takes
// the next argument too. Each value is joined to its option here instead
// ("--other=txt"), so that CLI11 never looks for one; a missing or empty
// value, or a value given to a switch, is a usage error. Nothing after "--"
// is an option. The message of a usage error, or nothing.
std::optional<std::string> joinValues(const CLI::App& app, std::vector<std::string>& args) {
  const CLI::App* command = &app;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--") break;
    if (args[i].size() <= 2 || args[i].compare(0, 2, "--") != 0) {
      if (const CLI::App* named = subcommandNamed(app, args[i]); named && command == &app)
        command = named;
      continue;
    }
    const std::size_t equals = args[i].find('=');
    const std::string name = args[i].substr(2, equals == std::string::npos ? equals : equals - 2);
    const CLI::Option* option = longOption(*command, name);
    if (option == nullptr) continue;  // CLI11 says it is unknown
    if (option->get_expected_max() == 0) {
      if (equals != std::string::npos) return "--" + name + " に値は指定できません。";
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = args[i].substr(equals + 1);
    } else {
      if (i + 1 == args.size() || args[i + 1].compare(0, 2, "--") == 0)
        return "--" + name + " の値がありません。";
      value = args[i + 1];
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    }
    if (value.empty()) return "--" + name + " の値が空です。";
    args[i] = "--" + name + "=" + value;
  }
  return std::nullopt;
}

// The arguments CLI11 left over, but for the "--" that ended the options.
std::string extraArguments(const CLI::App& command) {
  std::string extras;
  bool endOfOptions = false;
  for (const std::string& arg : command.remaining()) {
    if (arg == "--" && !endOfOptions) {
      endOfOptions = true;
      continue;
    }
    extras += " " + arg;
  }
  return extras;
}

// Parses `args` into `app`; an exit status when there is nothing to run
// (help, version, a usage error).
std::optional<int> parse(CLI::App& app, std::vector<std::string> args) {
  if (const std::optional<std::string> error = joinValues(app, args)) {
    std::fprintf(stderr, "%s\n%s\n", error->c_str(), kHelpHint);
    return kUsageError;
  }
  std::reverse(args.begin(), args.end());
  try {
    app.parse(std::move(args));
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return kDone;
  } catch (const CLI::CallForVersion&) {
    std::cout << app.version() << "\n";
    return kDone;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "%s\n%s\n", usageMessage(e).c_str(), kHelpHint);
    return kUsageError;
  }
  for (const CLI::App* command : app.get_subcommands()) {
    const std::string extras = extraArguments(*command);
    if (extras.empty()) continue;
    std::fprintf(stderr, "知らない引数です:%s\n%s\n", extras.c_str(), kHelpHint);
    return kUsageError;
  }
  return std::nullopt;
}

void addUndoOptions(CLI::App& undo, CommandLine& line) {
  undo.add_option("RUN", line.undoRun, "取り消す実行（history の「実行」欄）")->type_name("");
  undo.add_flag("--dry-run", line.undoDryRun, "何も変えずに、取り消す内容を表示する");
  undo.add_flag("--quiet", line.undoOutput.quiet, "エラーのほかは何も表示しない");
  undo.add_flag("--json", line.undoOutput.json, "結果を JSON で標準出力に書く");
}

}  // namespace

CommandLine parseCommandLine(std::vector<std::string> args) {
  CLI::App app("ファイル検索移動プログラム m_sifter のコマンドライン版", "m_sifter-cli");
  app.formatter(japaneseFormatter());
  app.option_defaults()->group("オプション");
  app.set_help_flag("-h,--help", "この説明を表示する");
  app.set_version_flag("--version", std::string("m_sifter-cli ") + common::kVersionText,
                       "版を表示する");
  app.require_subcommand(1);
  app.footer(
      "終了コード: 0 完了、1 実行の失敗（元に戻せないファイルがあった取り消しも）、2 "
      "指定の誤り");

  CommandLine line;
  CLI::App* run = app.add_subcommand("run", "移動元のファイルを探し、新しい名前で移動先へ移す");
  RunOptionFlags flags(line.run);
  addRunOptions(*run, line.run, flags);
  CLI::App* history = app.add_subcommand(
      "history", "これまでの実行を一覧する（RUN を指定すると、その実行のファイルを一覧する）");
  history->add_option("RUN", line.historyRun, "ファイルを一覧する実行（一覧の「実行」欄）")
      ->type_name("");
  history->add_flag("--json", line.historyOutput.json, "JSON で書く");
  CLI::App* undo = app.add_subcommand(
      "undo", "実行を取り消す（既定: 取り消していないファイルのある最後の実行）");
  addUndoOptions(*undo, line);
  for (CLI::App* command : {run, history, undo}) {
    command->group("コマンド");
    command->get_help_ptr()->group("オプション");
    command->allow_extras();
  }

  if (const std::optional<int> status = parse(app, std::move(args))) {
    line.status = *status;
    return line;
  }
  if (run->parsed()) {
    line.command = Command::Run;
    flags.apply();
    line.run.given.serverDir = folderArgument(line.run.given.serverDir);
    line.run.given.receiveDir = folderArgument(line.run.given.receiveDir);
  } else if (undo->parsed() && undo->count("RUN") > 0 && line.undoRun.empty()) {
    // An empty name (a shell variable left unset) never stands for the last run.
    std::fprintf(stderr, "取り消す実行の名前が空です。\n%s\n", kHelpHint);
    line.status = kUsageError;
  } else if (history->parsed() && history->count("RUN") > 0 && line.historyRun.empty()) {
    // Nor for every run: a script would read the whole history as one run's.
    std::fprintf(stderr, "一覧する実行の名前が空です。\n%s\n", kHelpHint);
    line.status = kUsageError;
  } else {
    line.command = history->parsed() ? Command::History : Command::Undo;
  }
  return line;
}

int runCommandLine(int argc, char** argv) {
  ConsoleUi console;
  common::setUi(&console);
  // As in the window after start-up: reports go to the error log only.
  common::gblnNoErrDialog = true;

  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  const CommandLine line = parseCommandLine(std::move(args));
  switch (line.command) {
    case Command::None: return line.status;
    case Command::Run: return runCommand(line.run);
    case Command::History: return showHistory(line.historyOutput, line.historyRun);
    case Command::Undo: return undoCommand(line.undoRun, line.undoDryRun, line.undoOutput);
  }
  return kUsageError;
}

}  // namespace msifter::cli
