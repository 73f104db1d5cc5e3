// The texts made from the option tables: usage lines, --help, the manual page and the bash
// completion. Prose is kept as plain paragraphs; the manual's roff form is made here.
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_table.h"
#include "cli/options.h"

namespace rovena::cli {
namespace {

struct ExitRow {
  int code;
  const char* meaning;
};
const ExitRow kExitRows[] = {
    {kExitDone, "Done as asked; warnings on standard error name any damage passed over."},
    {kExitFailed, "Not done, or only in part; one line on standard error says why."},
    {kExitUsage, "The command line was not understood."},
};

const char* const kQuietHelp = "No progress line (long commands draw one on a terminal).";
const char* const kForceOptionHelp = "Replace an existing file among the outputs; never an input of the command.";

const char* const kRecordingText =
    "A recording is an MPEG-1 video file whose pictures each carry the recorder's GPS sentence: a file that "
    "begins with the sequence header of a 640 x 480 or 320 x 240 picture and holds at least one picture that can be "
    "read whole. rovena-cli reads recordings the way the Rovena window steps through them: picture N is the picture "
    "the Nth step forward shows, numbered from 1, a picture counts once read through its end code, a picture whose "
    "end code is missing takes the next one with it, and the first picture that cannot be read whole ends the "
    "numbering. A range of pictures includes both ends. Every time printed is ISO 8601 in UTC.";

const char* const kNamesText =
    "Names that are not UTF-8 are printed and written (CSV, GPX, JSON) with each byte outside UTF-8, and each byte "
    "of a control character, as \\xHH, and a backslash as \\\\; the form reads back exactly.";

const char* const kOptionsText =
    "Each option may be given once. Every command takes --quiet, which silences the progress line that long "
    "commands draw on a terminal. Every command that writes files the user names takes --force: an existing file "
    "there is replaced; without it the command refuses and names the file. The scheme of a --db URL is matched in "
    "any case (PostgreSQL:// is postgresql://); any other URL is refused rather than taken for a file name.";

const char* const kSafetyText =
    "No output may replace an input of the command, under any name, link or rename, not even with --force: a "
    "recording it reads, every recording of a trip folder it reads, the archive and its -journal, -wal and -shm "
    "files, and every file the command has written itself. Outputs are written to a hidden temporary file beside "
    "the target and renamed into place only when complete; Ctrl+C or SIGTERM removes it, only kill -9 can leave one "
    "behind. A target that is a character device or FIFO (/dev/null, /dev/stdout, a pipe) is written into directly; "
    "a folder, socket or block device is refused.";

// `words` in lines of at most `width` characters (a longer word stands alone), each line but
// the first starting with `indent`.
std::string Wrap(const std::vector<std::string>& words, std::size_t width, const std::string& indent = "") {
  std::string out, line;
  for (const std::string& word : words) {
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line = indent;
    } else if (!line.empty() && line != indent) {
      line += ' ';
    }
    line += word;
  }
  return out + line;
}

std::string Wrap(const std::string& text, std::size_t width, const std::string& indent = "") {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return Wrap(words, width, indent);
}

// Plain text as roff: dashes as minus signs, backslashes escaped, no line taken for a request.
std::string Roff(const std::string& text) {
  static const std::string kSquared = "²";
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, kSquared.size(), kSquared) == 0) {
      out += "\\(S2";
      i += kSquared.size() - 1;
    } else if (text[i] == '-' || text[i] == '\\') {
      out += text[i] == '-' ? "\\-" : "\\e";
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string RoffParagraph(const std::string& text) {
  std::istringstream lines(Wrap(Roff(text), 92));
  std::string out, line;
  while (std::getline(lines, line)) out += (line[0] == '.' || line[0] == '\'' ? "\\&" : "") + line + "\n";
  return out;
}

// How a usage line shows option names and placeholders: as they are, or in roff.
struct Style {
  std::string (*name)(const std::string&);
  std::string (*value)(const std::string&);
};
std::string AsIs(const std::string& text) { return text; }
std::string RoffItalic(const std::string& text) { return "\\fI" + Roff(text) + "\\fP"; }
const Style kPlain{AsIs, AsIs};
const Style kRoff{Roff, RoffItalic};

std::string OptionForm(const CliOption& option, const Style& style) {
  return style.name(option.name) + (option.value ? " " + style.value(option.value) : "");
}

// The usage line in pieces a line may break between: the name, the operands, each option or
// group of options.
std::vector<std::string> UsagePieces(const CliCommand& command, const Style& style) {
  std::vector<std::string> pieces = {style.name(command.name)};
  if (*command.operands) pieces.push_back(style.value(command.operands));
  const auto& options = command.options;
  for (std::size_t i = 0; i < options.size(); ++i) {
    const CliOption& option = options[i];
    if (option.need == Need::kOneOf) {
      std::string group = "(" + OptionForm(option, style);
      for (; i + 1 < options.size() && (options[i + 1].need == Need::kOneOf || options[i + 1].need == Need::kWithPrevious); ++i)
        group += (options[i + 1].need == Need::kOneOf ? " | " : " ") + OptionForm(options[i + 1], style);
      pieces.push_back(group + ")");
    } else {
      pieces.push_back(option.need == Need::kRequired ? OptionForm(option, style) : "[" + OptionForm(option, style) + "]");
    }
  }
  if (command.writesFiles) pieces.push_back("[" + style.name(kForceFlag) + "]");
  return pieces;
}

std::string Usage(const CliCommand& command, const Style& style) {
  std::string line;
  for (const std::string& piece : UsagePieces(command, style)) line += (line.empty() ? "" : " ") + piece;
  return line;
}

// The options every command takes besides its own, with their help.
std::vector<CliOption> SharedOptions(const CliCommand& command) {
  std::vector<CliOption> shared = {{"--quiet", nullptr, kQuietHelp}};
  if (command.writesFiles) shared.push_back({kForceFlag, nullptr, kForceOptionHelp});
  return shared;
}

std::string HelpRows(const std::vector<CliOption>& options) {
  constexpr std::size_t kColumn = 24, kWidth = 78;
  const std::string margin(kColumn, ' ');
  std::string out;
  for (const CliOption& option : options) {
    const std::string form = "  " + OptionForm(option, kPlain);
    out += form.size() + 2 > kColumn ? form + "\n" + margin : form + std::string(kColumn - form.size(), ' ');
    for (char c : Wrap(option.help, kWidth - kColumn)) out += c == '\n' ? "\n" + margin : std::string(1, c);
    out += "\n";
  }
  return out;
}

std::string ExitStatusText() {
  std::string out = "Exit status:\n";
  for (const ExitRow& row : kExitRows) out += "  " + std::to_string(row.code) + "  " + row.meaning + "\n";
  return out;
}

std::string ManCommand(const CliCommand& command) {
  std::string out = ".TP\n.B " + Usage(command, kRoff) + "\n" + RoffParagraph(command.summary);
  if (command.options.empty()) return out;
  out += ".RS\n";
  for (const CliOption& option : command.options) out += ".TP\n.B " + OptionForm(option, kRoff) + "\n" + RoffParagraph(option.help);
  return out + ".RE\n";
}

// The bash lines that complete the value of `option`, or "" when it takes none.
std::string CompletionCase(const CliOption& option) {
  if (!option.value) return {};
  const std::string head = "        " + std::string(option.name) + ") ";
  switch (option.offer) {
    case Offer::kNothing: return head + "return ;;\n";
    case Offer::kFile: return head + "COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
    case Offer::kFolder: return head + "COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n";
    case Offer::kWords: return head + "COMPREPLY=($(compgen -W \"" + option.words + "\" -- \"$cur\")); return ;;\n";
    case Offer::kTimeZones:
      return head + "\n"
             "          local zones=$(cd \"${TZDIR:-/usr/share/zoneinfo}\" 2>/dev/null && awk '!/^#/ {print $3}' zone1970.tab 2>/dev/null)\n"
             "          COMPREPLY=($(compgen -W \"UTC $zones\" -- \"$cur\")); return ;;\n";
  }
  return {};
}

}  // namespace

std::string UsageLine(const CliCommand& command) { return Usage(command, kPlain); }

std::string CommandHelp(const CliCommand& command) {
  std::vector<CliOption> options = command.options;
  for (const CliOption& shared : SharedOptions(command)) options.push_back(shared);
  return "usage: rovena-cli " + UsageLine(command) + "\n\n" + Wrap(command.summary, 78) + "\n\nOptions:\n" +
         HelpRows(options) + "\n" + ExitStatusText();
}

std::string ProgramHelp() {
  std::string out = "usage: rovena-cli COMMAND [ARGS]\n\nCommands:\n";
  for (const CliCommand& command : AllCommands()) out += "  " + Wrap(UsagePieces(command, kPlain), 76, "      ") + "\n";
  return out + "  COMMAND --help\n  --version\n\n" + Wrap(kRecordingText, 78) + "\n\n" + Wrap(kOptionsText, 78) +
         "\n\n" + ExitStatusText();
}

std::string ManualPage() {
  std::string out =
      ".\\\" Made by rovena-cli from its option tables (cli/command_table.cpp); to change it, change them and run\n"
      ".\\\" cmake --build build --target cli-docs\n"
      ".TH ROVENA-CLI 1 \"2026\" \"Rovena 2.0\" \"User Commands\"\n"
      ".SH NAME\nrovena-cli \\- batch work on car video recorder recordings\n"
      ".SH SYNOPSIS\n.B rovena-cli\n.I COMMAND\n.RI [ ARGS ]\n.br\n.B rovena-cli\n.IR COMMAND \" \\-\\-help\"\n"
      ".br\n.B rovena-cli \\-\\-version\n"
      ".SH DESCRIPTION\n" + RoffParagraph(kRecordingText) + ".SH COMMANDS\n";
  for (const CliCommand& command : AllCommands()) out += ManCommand(command);
  out += ".SH FILE NAMES\n" + RoffParagraph(kNamesText) + ".SH OPTIONS\n" + RoffParagraph(kOptionsText) +
         ".SH SAFETY\n" + RoffParagraph(kSafetyText) + ".SH EXIT STATUS\n";
  for (const ExitRow& row : kExitRows) out += ".TP\n.B " + std::to_string(row.code) + "\n" + RoffParagraph(row.meaning);
  return out + ".SH SEE ALSO\n.BR Rovena (1)\n";
}

std::string BashCompletion() {
  std::string names;
  for (const CliCommand& command : AllCommands()) names += std::string(names.empty() ? "" : " ") + command.name;
  std::string out =
      "# bash completion for rovena-cli\n"
      "# Made by rovena-cli from its option tables (cli/command_table.cpp); to change it, change them and run\n"
      "# cmake --build build --target cli-docs\n"
      "_rovena_cli() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
      "    COMPREPLY=($(compgen -W \"" + names + " --help --version\" -- \"$cur\"))\n"
      "    return\n"
      "  fi\n"
      "  local options=\"--help --quiet\"\n"
      "  case ${COMP_WORDS[1]} in\n";
  for (const CliCommand& command : AllCommands()) {
    std::string listed, cases;
    for (const CliOption& option : command.options) {
      listed += std::string(" ") + option.name;
      cases += CompletionCase(option);
    }
    if (command.writesFiles) listed += std::string(" ") + kForceFlag;
    if (listed.empty()) continue;
    out += "    " + std::string(command.name) + ")\n      options+=\"" + listed + "\"\n";
    if (!cases.empty()) out += "      case $prev in\n" + cases + "      esac\n";
    out += "      ;;\n";
  }
  return out +
         "  esac\n"
         "  if [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
         "  else\n"
         "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "  fi\n"
         "}\n"
         "complete -o filenames -F _rovena_cli rovena-cli\n";
}

}  // namespace rovena::cli
