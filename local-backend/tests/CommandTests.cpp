#include <gtest/gtest.h>

#include "localbackend/Command.hpp"
#include "localbackend/LineReader.hpp"
#include "localbackend/Modes.hpp"
#include "localbackend/Options.hpp"

namespace velmoria::localbackend {
namespace {

using Kind = Command::Kind;

Command command(std::string_view line) {
  const auto parsed = parseCommand(line);
  EXPECT_TRUE(std::holds_alternative<Command>(parsed)) << line;
  return std::holds_alternative<Command>(parsed) ? std::get<Command>(parsed) : Command{};
}

std::string problem(std::string_view line) {
  const auto parsed = parseCommand(line);
  EXPECT_TRUE(std::holds_alternative<std::string>(parsed)) << line;
  return std::holds_alternative<std::string>(parsed) ? std::get<std::string>(parsed) : std::string();
}

TEST(CommandParsing, WordsInAnyCaseWithTheModeAsTheRestOfTheLine) {
  EXPECT_EQ(command(""), Command{});
  EXPECT_EQ(command(" \t\r"), Command{});
  EXPECT_EQ(command("start"), (Command{Kind::start, std::nullopt}));
  EXPECT_EQ(command("  START  \r"), (Command{Kind::start, std::nullopt}));
  EXPECT_EQ(command("start Reading"), (Command{Kind::start, "Reading"}));
  EXPECT_EQ(command("start   deep \t work  "), (Command{Kind::start, "deep work"}));
  EXPECT_EQ(command("Stop"), (Command{Kind::stop, std::nullopt}));
  EXPECT_EQ(command("help\r"), (Command{Kind::help, std::nullopt}));
}

TEST(CommandParsing, BadLinesGetOneClearLine) {
  EXPECT_EQ(problem("stop now"), "stop takes no argument; type help for the commands");
  EXPECT_EQ(problem("help me"), "help takes no argument; type help for the commands");
  EXPECT_EQ(problem("starts"), "unknown command \"starts\"; type help for the commands");
  EXPECT_EQ(problem("\x1b[31mred"), "unknown command \"?[31mred\"; type help for the commands");
  const std::string longWord(500, 'x');
  EXPECT_EQ(problem(longWord), "unknown command \"" + std::string(60, 'x') + "...\"; type help for the commands");
}

TEST(CommandParsing, PrintableTextNeverSplitsACharacterOrCarriesControls) {
  EXPECT_EQ(printable("fine"), "fine");
  EXPECT_EQ(printable("a\nb\x7f"), "a?b?");
  // "é" is two bytes; a cut after its first byte backs off to before it.
  EXPECT_EQ(printable("abcé", 4), "abc...");
  EXPECT_EQ(printable("abcé", 5), "abcé");
  EXPECT_EQ(printable("abcéz", 5), "abcé...");
}

TEST(CommandParsing, HelpListsTheCommandsAndModes) {
  const auto text = helpText();
  for (const char* word :
       {"start [mode]", "stop", "help", "\"Deep Work\" (blocks the desktop)", "\"Reading\" (does not block)"}) {
    EXPECT_NE(text.find(word), std::string::npos) << word;
  }
}

TEST(Modes, OneBlockingDefaultAndOneThatDoesNotBlock) {
  EXPECT_TRUE(defaultMode().blockOnMac);
  ASSERT_EQ(seededModes().size(), 2u);
  EXPECT_FALSE(seededModes()[1].blockOnMac);
  EXPECT_EQ(findMode("deep WORK"), &seededModes()[0]);
  EXPECT_EQ(findMode(seededModes()[1].id), &seededModes()[1]);
  EXPECT_EQ(findMode("deep"), nullptr);
  EXPECT_EQ(findMode(""), nullptr);
}

TEST(LineReading, LinesSplitAcrossReadsAndAnOverlongOneIsDroppedOnce) {
  LineReader reader;
  EXPECT_TRUE(reader.feed("sta").empty());
  EXPECT_EQ(reader.feed("rt\nstop\nhe"), (std::vector<LineReader::Line>{{"start", false}, {"stop", false}}));
  EXPECT_EQ(reader.finish(), (LineReader::Line{"he", false}));
  EXPECT_EQ(reader.finish(), std::nullopt);

  EXPECT_TRUE(reader.feed(std::string(LineReader::kMaxLine, 'a')).empty());
  EXPECT_TRUE(reader.feed("b").empty());
  EXPECT_EQ(reader.feed(std::string(10000, 'c') + "\nhelp\n"),
            (std::vector<LineReader::Line>{{"", true}, {"help", false}}));
  const std::string exact(LineReader::kMaxLine, 'd');
  EXPECT_EQ(reader.feed(exact + "\n"), (std::vector<LineReader::Line>{{exact, false}}));
  EXPECT_EQ(reader.feed("\n"), (std::vector<LineReader::Line>{{"", false}}));
  reader.feed(std::string(LineReader::kMaxLine + 1, 'e'));
  EXPECT_EQ(reader.finish(), (LineReader::Line{"", true}));
}

TEST(ProgramOptions, APortByEitherSpellingAndEverythingElseRefused) {
  using Parsed = std::variant<Options, std::string>;
  EXPECT_EQ(parseOptions({}), Parsed(Options{}));
  EXPECT_EQ(parseOptions({"--port", "8123"}), Parsed(Options{8123, false}));
  EXPECT_EQ(parseOptions({"--port=65535"}), Parsed(Options{65535, false}));
  EXPECT_EQ(parseOptions({"--port=0", "-h"}), Parsed(Options{0, true}));
  EXPECT_EQ(parseOptions({"--port"}), Parsed(std::string("--port needs a number")));
  for (const char* bad : {"65536", "-1", "80x", "", " 80", "99999999999999999999"}) {
    EXPECT_EQ(parseOptions({"--port", bad}),
              Parsed("the port must be a number from 0 to 65535, not \"" + std::string(bad) + "\""))
        << bad;
  }
  EXPECT_EQ(parseOptions({"--prot", "1"}), Parsed(std::string("unknown argument \"--prot\"")));
}

}  // namespace
}  // namespace velmoria::localbackend
