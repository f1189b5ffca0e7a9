// Paths, files, folder trees and the program's folders, against the prefix's real drive C:.
#include "core/App.h"
#include "core/mdlMain.h"
#include "core/modDir.h"
#include "core/modFileExist.h"
#include "core/modPathUsers.h"
#include <gtest/gtest.h>
#include <windows.h>

namespace {

const std::string Base = "C:\\halvren-test\\core-paths";

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &fd));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f) << path;
    DWORD written = 0;
    WriteFile(f, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(f);
}

bool IsFolder(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A drive letter that the prefix does not map.
char FreeDrive()
{
    DWORD drives = GetLogicalDrives();
    for (char c = 'Q'; c > 'C'; --c)
        if (!(drives & (1u << (c - 'A'))))
            return c;
    for (char c = 'Y'; c > 'Q'; --c)
        if (!(drives & (1u << (c - 'A'))))
            return c;
    return 0;
}

class Paths : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryA("C:\\halvren-test", nullptr);
        RemoveTree(Base);
        ASSERT_TRUE(CreateDirectoryA(Base.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(Base); }
};

} // namespace

TEST_F(Paths, PathExistsAndFileExist)
{
    WriteFileBytes(Base + "\\empty.txt", "");
    WriteFileBytes(Base + "\\full.txt", "data");
    EXPECT_TRUE(PathExists("C:\\"));
    EXPECT_TRUE(PathExists(Base));
    EXPECT_TRUE(PathExists(Base + "\\empty.txt"));
    EXPECT_FALSE(PathExists(Base + "\\missing.txt"));
    EXPECT_FALSE(PathExists(""));

    EXPECT_TRUE(FileExist(Base + "\\empty.txt"));
    EXPECT_TRUE(FileExist(Base + "\\full.txt"));
    EXPECT_FALSE(FileExist(Base + "\\missing.txt"));
    EXPECT_FALSE(FileExist(Base));                    // a folder has no length
    EXPECT_FALSE(FileExist(Base + "\\*.txt"));
    EXPECT_FALSE(FileExist(""));
}

TEST_F(Paths, CreateFolderTreeMakesEveryMissingLevel)
{
    std::string data = Base + "\\Data";
    ASSERT_TRUE(CreateDirectoryA(data.c_str(), nullptr));
    std::string tree = data + "\\Quorvane\\Halvren\\RegBackups";
    EXPECT_TRUE(CreateFolderTree(tree));
    EXPECT_TRUE(IsFolder(data + "\\Quorvane"));
    EXPECT_TRUE(IsFolder(data + "\\Quorvane\\Halvren"));
    EXPECT_TRUE(IsFolder(tree));
    EXPECT_TRUE(CreateFolderTree(tree));          // again: nothing to make
    EXPECT_TRUE(CreateFolderTree(tree + "\\"));
    EXPECT_TRUE(CreateFolderTree(Base + "\\Fresh\\A\\B\\C"));
    EXPECT_TRUE(IsFolder(Base + "\\Fresh\\A\\B\\C"));
    EXPECT_TRUE(CreateFolderTree("C:\\"));
    EXPECT_TRUE(CreateFolderTree("C:"));
}

TEST_F(Paths, CreateFolderTreeStopsWhereALevelCannotBeMade)
{
    // A file in the way of a level: the walk stops there and what lies above stays.
    std::string data = Base + "\\Data";
    ASSERT_TRUE(CreateDirectoryA(data.c_str(), nullptr));
    WriteFileBytes(data + "\\Locked", "x");
    EXPECT_FALSE(CreateFolderTree(data + "\\Locked\\New"));
    EXPECT_TRUE(IsFolder(data));
    EXPECT_TRUE(FileExist(data + "\\Locked"));
    EXPECT_FALSE(Exists(data + "\\Locked\\New"));

    char drive = FreeDrive();
    ASSERT_NE(0, drive);
    std::string onMissingDrive = std::string(1, drive) + ":\\A";
    EXPECT_FALSE(CreateFolderTree(onMissingDrive));
    EXPECT_FALSE(Exists(onMissingDrive));

    // Relative and drive-less paths have no drive part.
    EXPECT_FALSE(CreateFolderTree("HalvrenCoreRelative\\B"));
    EXPECT_FALSE(Exists("HalvrenCoreRelative"));
    EXPECT_FALSE(CreateFolderTree("\\halvren-test\\core-paths\\Rooted"));
    EXPECT_FALSE(Exists(Base + "\\Rooted"));
    EXPECT_FALSE(CreateFolderTree(""));
}

TEST(CorePaths, ProgramAndDataFolders)
{
    EXPECT_EQ("1.00", VersionText());

    std::string program = ProgramFolder();
    ASSERT_FALSE(program.empty());
    EXPECT_NE('\\', program.back());
    EXPECT_TRUE(FileExist(program + "\\test_core_paths.exe"));

    std::string local = GetLocalAppDataPath();
    ASSERT_FALSE(local.empty());
    EXPECT_NE('\\', local.back());
    EXPECT_TRUE(IsFolder(local));
    EXPECT_EQ(local + "\\Quorvane\\Halvren", DataFolder());
}
