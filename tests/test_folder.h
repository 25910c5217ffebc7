// A fresh game folder for each test, entered as the working directory, with helpers
// to lay out mission folders and read back what the converter wrote. Names are UTF-8.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class GameFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Messages the converter showed; tests never wait for a click.
  static std::vector<std::string> messages;

  std::filesystem::path folder_;
  std::filesystem::path previous_;
};

std::filesystem::path PathOf(const std::string& name);
void WriteFile(const std::string& name, const std::string& bytes);
std::string ReadFile(const std::string& name);  // empty when missing
size_t LineCount(const std::string& name);
bool Exists(const std::string& name);
void RemoveFile(const std::string& name);
bool IsFolder(const std::string& name);
void MakeFolder(const std::string& name);
// The entries of a folder, sorted, as UTF-8 names.
std::vector<std::string> ListFolder(const std::string& name);
// The entries in the order the platform lists them.
std::vector<std::string> ListFolderInOrder(const std::string& name);
// Polls until done() holds; false after about 20 seconds.
bool WaitUntil(const std::function<bool()>& done);
bool WaitForFile(const std::string& name);
// The value of a "key=value" line of the stand-in updater's log.
std::string LogValue(const std::string& log, const std::string& key);
// Puts the stand-in updater into the working directory as vozedudo.exe.
void InstallStandInUpdater(const std::string& name = "vozedudo.exe");
// The 90 bytes every stub must hold, spelled out independently of the program.
std::string ExpectedStub();
