#include "platform/qt/SettingsStore.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "WavWriter.h"

namespace vivurozed {
namespace {

using vivurozed::testing::TempDir;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { TSettingsStore::SetFolder(dir.Path()); }
  TempDir dir;
};

TEST_F(SettingsStoreTest, KeysMapToCompanyFolderAndProgramFileAndReadEmptyUntilWritten) {
  TSettingsStore own("\\Software\\Vovidada\\Vivurozed");
  TSettingsStore companion("\\Software\\Vovidada\\Zevuvid");
  TSettingsStore sub("\\Software\\Vovidada\\Vivurozed\\Recent");
  EXPECT_EQ(own.FileName(), dir.Path() / "Vovidada" / "Vivurozed.reg");
  EXPECT_EQ(companion.FileName(), dir.Path() / "Vovidada" / "Zevuvid.reg");
  EXPECT_EQ(sub.FileName(), own.FileName());
  EXPECT_FALSE(own.KeyExists());
  EXPECT_FALSE(own.ReadInteger("OutputFormat"));
  EXPECT_FALSE(own.ReadString("SourceFolder"));
  EXPECT_FALSE(std::filesystem::exists(own.FileName()));

  // A deeper key is separate; deleting a value leaves the others.
  ASSERT_TRUE(sub.WriteString("File1", "a.wav"));
  ASSERT_TRUE(own.WriteString("File1", "b.wav"));
  ASSERT_TRUE(own.WriteInteger("B", 2));
  EXPECT_TRUE(own.KeyExists());
  EXPECT_FALSE(companion.KeyExists());
  EXPECT_FALSE(companion.ValueExists("B"));
  ASSERT_TRUE(own.DeleteValue("File1"));
  TSettingsStore other("\\Software\\Vovidada\\Vivurozed");
  EXPECT_FALSE(other.ValueExists("File1"));
  EXPECT_EQ(other.ReadInteger("B"), 2);
  EXPECT_EQ(TSettingsStore("\\Software\\Vovidada\\Vivurozed\\Recent").ReadString("File1"), "a.wav");
}

TEST_F(SettingsStoreTest, ABatchReachesTheDiskWhenTheOutermostBatchEnds) {
  TSettingsStore store("\\Software\\Vovidada\\Vivurozed");
  const auto onDisk = [&] { return ReadText(store.FileName()); };
  store.BeginBatch();
  store.BeginBatch();
  ASSERT_TRUE(store.WriteInteger("A", 1));
  ASSERT_TRUE(store.WriteString("B", "two"));
  EXPECT_EQ(store.ReadInteger("A"), 1);
  EXPECT_TRUE(store.EndBatch());
  EXPECT_EQ(onDisk(), "");
  EXPECT_TRUE(store.EndBatch());
  EXPECT_NE(onDisk().find("\"A\"=dword:00000001\n\"B\"=\"two\""), std::string::npos) << onDisk();
  // Outside a batch every write is on disk at once again.
  ASSERT_TRUE(store.WriteInteger("A", 3));
  EXPECT_NE(onDisk().find("\"A\"=dword:00000003"), std::string::npos) << onDisk();
}

TEST_F(SettingsStoreTest, ValuesKeepTheirTypeOnDisk) {
  const std::string awkward = "C:\\Pictures\\\"quoted\" = x\nline two\t\x7f and \xc3\xa9";
  {
    TSettingsStore store("\\Software\\Vovidada\\Vivurozed");
    ASSERT_TRUE(store.WriteInteger("Negative", -2));
    ASSERT_TRUE(store.WriteInteger("Big", 2147483647));
    ASSERT_TRUE(store.WriteString("Folder", awkward));
    ASSERT_TRUE(store.WriteString("Number", "42"));
    ASSERT_TRUE(store.WriteString("Empty", ""));
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(store.WriteInteger("Count", i));
  }
  // Rewrites leave only the store behind.
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path() / "Vovidada"))
    EXPECT_EQ(entry.path().filename(), "Vivurozed.reg");
  const std::string text = ReadText(dir.Path() / "Vovidada" / "Vivurozed.reg");
  EXPECT_NE(text.find("\"Negative\"=dword:fffffffe\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Number\"=\"42\"\n"), std::string::npos) << text;

  TSettingsStore again("\\Software\\Vovidada\\Vivurozed");
  EXPECT_EQ(again.ReadInteger("Negative"), -2);
  EXPECT_EQ(again.ReadInteger("Big"), 2147483647);
  EXPECT_EQ(again.ReadString("Folder"), awkward);
  EXPECT_EQ(again.ReadString("Empty"), "");
  // The other type is not there, even where the text would convert.
  EXPECT_FALSE(again.ReadInteger("Number"));
  EXPECT_FALSE(again.ReadString("Negative"));
}

TEST_F(SettingsStoreTest, ReadsWhatAnotherProgramWroteSkippingDamageAndForeignFiles) {
  TSettingsStore store("\\Software\\Vovidada\\Vivurozed");
  ASSERT_FALSE(store.ReadInteger("Good"));
  WriteText(store.FileName(),
            "VIVUROZED SETTINGS 1\n"
            "\"Good\"=dword:0000000A\r\n"
            "\"Short\"=dword:7\n"
            "\"Open\"=\"no end\n"
            "\"BadEscape\"=\"\\q\"\n"
            "garbage\n"
            "\"Trailing\"=\"x\"y\n"
            "\"Text\"=\"ok\"\n");
  EXPECT_EQ(store.ReadInteger("Good"), 10);
  EXPECT_EQ(store.ReadString("Text"), "ok");
  for (const char* name : {"Short", "Open", "BadEscape", "Trailing"})
    EXPECT_FALSE(store.ValueExists(name)) << name;

  TSettingsStore foreign("\\Software\\Vovidada\\Foreign");
  WriteText(foreign.FileName(), "[General]\nSampleRate=11030\n");
  EXPECT_FALSE(foreign.ReadInteger("SampleRate"));
  // Our next write replaces the unreadable store with a readable one.
  ASSERT_TRUE(foreign.WriteInteger("SampleRate", 11040));
  TSettingsStore reread("\\Software\\Vovidada\\Foreign");
  EXPECT_EQ(reread.ReadInteger("SampleRate"), 11040);
}

TEST_F(SettingsStoreTest, RefusesWhatCannotBeStored) {
  TSettingsStore noProgram("\\Software\\Vovidada");
  EXPECT_FALSE(noProgram.WriteInteger("X", 1));
  TSettingsStore notSoftware("\\Hardware\\Vovidada\\Vivurozed");
  EXPECT_FALSE(notSoftware.WriteInteger("X", 1));
  TSettingsStore store("\\Software\\Vovidada\\Vivurozed");
  EXPECT_FALSE(store.WriteInteger("a/b", 1));
  EXPECT_FALSE(store.WriteString("a\\b", "x"));
  EXPECT_FALSE(store.WriteString("", "x"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "Vovidada"));
}

TEST_F(SettingsStoreTest, AWriteThatCannotReachTheDiskFailsAndLeavesNoDebris) {
  // A plain file where the company folder should be: the folder cannot be
  // made, even for root.
  WriteText(dir.Path() / "Vovidada", "not a folder");
  TSettingsStore store("\\Software\\Vovidada\\Vivurozed");
  EXPECT_FALSE(store.WriteInteger("SampleRate", 11030));
  EXPECT_TRUE(store.WritePending());
  EXPECT_EQ(ReadText(dir.Path() / "Vovidada"), "not a folder");

  // Once the disk takes writes again, the held value goes out with the next.
  std::filesystem::remove(dir.Path() / "Vovidada");
  EXPECT_TRUE(store.WriteInteger("OutputFormat", 2));
  EXPECT_FALSE(store.WritePending());
  const std::string text = ReadText(store.FileName());
  EXPECT_NE(text.find("\"SampleRate\"=dword:00002b16\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"OutputFormat\"=dword:00000002\n"), std::string::npos) << text;
}

// A writer killed at any moment leaves every key with a value it wrote:
// each round writes Count<k> then Text<k>, both carrying the round.
TEST_F(SettingsStoreTest, SurvivesKillNineWhileWriting) {
  const std::string key = "\\Software\\Vovidada\\Survivor";
  setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
  std::mt19937 random(19);
  int killed = 0;
  for (int i = 0; i < 30; ++i) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t child = fork();
    if (child == 0) {
      dup2(out[1], STDOUT_FILENO);
      execl(VZ_SETTINGS_WRITER, VZ_SETTINGS_WRITER, key.c_str(), nullptr);
      _exit(127);
    }
    close(out[1]);
    char ready[5] = {};
    const bool started = read(out[0], ready, sizeof ready) == 5;
    close(out[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(started);
    killed += WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;

    TSettingsStore store(key);
    std::optional<std::int32_t> first;
    for (int k = 0; k < 4; ++k) {
      const std::string n = std::to_string(k);
      const auto count = store.ReadInteger("Count" + n);
      const auto text = store.ReadString("Text" + n);
      ASSERT_TRUE(count && text) << "kill " << i << " key " << k << "\n"
                                 << ReadText(store.FileName());
      if (!first) first = count;
      // Keys are written in order: later ones are at most one round behind.
      EXPECT_TRUE(*count == *first || *count == *first - 1) << *count << " after " << *first;
      const int round = std::atoi(text->c_str() + 6);
      EXPECT_TRUE(round == *count || round == *count - 1) << *text << " with count " << *count;
      EXPECT_EQ(*text, "round-" + std::to_string(round) + std::string(round % 97, '.'));
    }
  }
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(killed, 30);
}

}  // namespace
}  // namespace vivurozed
