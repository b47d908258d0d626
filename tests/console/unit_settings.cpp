#include <gtest/gtest.h>

#include "console/Settings.h"
#include "platform/IniFile.h"
#include "support_files.h"

namespace {

using namespace console;
using testfiles::ScratchDir;
using testfiles::Slurp;
using testfiles::Spit;

StoredSettings ReadFrom(const ScratchDir& dir, const std::string& text) {
    Spit(dir.File("Q710b.ini"), text);
    return ReadSettings(platform::IniFile(dir.File("Q710b.ini")));
}

TEST(Settings, MissingFileReadsAsDefaults) {
    ScratchDir dir;
    StoredSettings s = ReadSettings(platform::IniFile(dir.File("Q710b.ini")));
    EXPECT_EQ(s.connection.portIndex, 0);
    EXPECT_EQ(s.connection.baudIndex, 0);
    EXPECT_EQ(s.connection.pcAddress, "1");
    EXPECT_EQ(s.connection.ecrAddress, "0");
    EXPECT_FALSE(s.connection.netMode);
    EXPECT_EQ(s.ecrAddress, 2);
    EXPECT_EQ(s.connection.attemptsIndex, 2);
    EXPECT_EQ(s.connection.phone, "");
    EXPECT_EQ(s.csv.Delimiter, ';');
    EXPECT_TRUE(s.csv.IgnoreEmptyLines);
    EXPECT_FALSE(s.csv.Cp866 || s.csv.Quotes || s.csv.LRBlanks);
}

TEST(Settings, StoredValuesReachTheControls) {
    ScratchDir dir;
    StoredSettings s =
        ReadFrom(dir, "[general]\r\nport=com4\r\nBAUD RATE=19200\r\nADDR(PC)=12\r\nADDR(ECR)=5\r\n"
                      "NET MODE=1\r\n[REMOTE CONNECTION]\r\nDIAL MODE=1\r\nSELECT DEVICE=0\r\n"
                      "CONFIG DEVICE=7\r\nPHONE=8 044 123\r\nATTEMTS=10\r\n"
                      "[CSV]\r\nDELIM=TAB\r\nCP866=1\r\nQUOTES=1\r\nLRBlanks=1\r\nIgnoreEmptyLines=0\r\n");
    EXPECT_EQ(s.connection.portIndex, 3);
    EXPECT_EQ(s.connection.baudIndex, 2);
    EXPECT_EQ(s.connection.pcAddress, "12");
    EXPECT_EQ(s.connection.ecrAddress, "5");
    EXPECT_EQ(s.ecrAddress, 5);
    EXPECT_TRUE(s.connection.netMode);
    EXPECT_TRUE(s.connection.dialMode);
    EXPECT_FALSE(s.connection.selectDevice);
    EXPECT_TRUE(s.connection.configDevice); // any non-zero number is true
    EXPECT_EQ(s.connection.phone, "8 044 123");
    EXPECT_EQ(s.connection.attemptsIndex, 9);
    EXPECT_EQ(s.csv.Delimiter, '\t');
    EXPECT_TRUE(s.csv.Cp866 && s.csv.Quotes && s.csv.LRBlanks);
    EXPECT_FALSE(s.csv.IgnoreEmptyLines);
}

TEST(Settings, ValuesOutsideTheListsReadAsTheDesignedItems) {
    ScratchDir dir;
    StoredSettings s = ReadFrom(dir, "[GENERAL]\nPORT=COM9\nBAUD RATE=115200\nADDR(PC)=300\nADDR(ECR)=-4\n"
                                     "[REMOTE CONNECTION]\nATTEMTS=0\n[CSV]\nDELIM=|\n");
    EXPECT_EQ(s.connection.portIndex, 0);
    EXPECT_EQ(s.connection.baudIndex, 0);
    EXPECT_EQ(s.connection.pcAddress, "255"); // the spin button's range
    EXPECT_EQ(s.connection.ecrAddress, "0");
    EXPECT_EQ(s.ecrAddress, 2);
    EXPECT_EQ(s.connection.attemptsIndex, 2); // three attempts, not an empty choice
    EXPECT_EQ(s.csv.Delimiter, ';');
    for (const char* attempts : {"11", "abc", "-1", "99999999999"})
        EXPECT_EQ(ReadFrom(dir, std::string("[REMOTE CONNECTION]\nATTEMTS=") + attempts + "\n")
                      .connection.attemptsIndex,
                  2)
            << attempts;
    EXPECT_EQ(ReadFrom(dir, "[CSV]\nDELIM=,\n").csv.Delimiter, ',');
}

TEST(Settings, GarbageFileReadsAsDefaults) {
    ScratchDir dir;
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk.push_back(static_cast<char>((i * 37 + 11) % 256));
    junk += "\n[GENERAL\nPORT\n=COM3\n[]\n=\n";
    StoredSettings s = ReadFrom(dir, junk);
    EXPECT_EQ(s.connection.portIndex, 0);
    EXPECT_EQ(s.connection.pcAddress, "1");
    EXPECT_EQ(s.connection.attemptsIndex, 2);
}

TEST(Settings, WriteBackCompletesWhenAnAddressIsNotANumber) {
    ScratchDir dir;
    platform::IniFile ini(dir.File("Q710b.ini"));
    ConnectionSettings c;
    c.portIndex = 7;
    c.baudIndex = 3;
    c.pcAddress = "x1";
    c.ecrAddress = "";
    c.netMode = true;
    c.dialMode = c.selectDevice = c.configDevice = true;
    c.phone = "555";
    c.attemptsIndex = 0;
    WriteSettings(ini, c);
    EXPECT_EQ(Slurp(dir.File("Q710b.ini")),
              "[GENERAL]\r\nPORT=COM8\r\nBAUD RATE=38400\r\nADDR(PC)=1\r\nADDR(ECR)=0\r\nNET MODE=1\r\n"
              "[REMOTE CONNECTION]\r\nDIAL MODE=1\r\nSELECT DEVICE=1\r\nCONFIG "
              "DEVICE=1\r\nPHONE=555\r\nATTEMTS=1\r\n");
}

TEST(Settings, NoBaudRateIsWrittenWithoutASelectedRate) {
    ScratchDir dir;
    Spit(dir.File("Q710b.ini"), "[GENERAL]\nBAUD RATE=9600\n");
    platform::IniFile ini(dir.File("Q710b.ini"));
    ConnectionSettings c;
    c.baudIndex = -1;
    WriteSettings(ini, c);
    EXPECT_EQ(ini.ReadInteger("GENERAL", "BAUD RATE", 0), 9600);
}

TEST(Settings, UnwritableFileRaisesIniError) {
    ScratchDir dir;
    platform::IniFile ini(dir.File("missing-folder/Q710b.ini"));
    EXPECT_THROW(WriteSettings(ini, ConnectionSettings{}), platform::IniError);
}

} // namespace
