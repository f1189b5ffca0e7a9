// Paths, files and folder trees, against the prefix's real drive C:.
#include "core/App.h"
#include "core/mdlMain.h"
#include "core/modDir.h"
#include "core/modFileExist.h"
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>
#include <cstdio>

namespace {

const std::string Base = "C:\\halvren-test\\core-paths";

void RemoveTree(const std::string& path)
{
    std::string from = path + '\0';   // the list ends with a second NUL
    SHFILEOPSTRUCTA op = {nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI, FALSE, nullptr, nullptr};
    SHFileOperationA(&op);
}

void Touch(const std::string& path)
{
    if (FILE* f = fopen(path.c_str(), "wb")) fclose(f);
}

struct Paths : ::testing::Test {
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
    Touch(Base + "\\empty.txt");
    EXPECT_TRUE(PathExists("C:\\") && PathExists(Base) && PathExists(Base + "\\empty.txt"));
    EXPECT_TRUE(FileExist(Base + "\\empty.txt"));
    for (std::string path : {Base + "\\missing.txt", std::string()})
        EXPECT_FALSE(PathExists(path) || FileExist(path)) << path;
    for (std::string path : {Base, Base + "\\*.txt"})   // a folder, a wildcard
        EXPECT_FALSE(FileExist(path)) << path;
}

// A missing folder answers for the paths in it only where the path means what it says.
TEST_F(Paths, FolderDecidingAndFolderMissing)
{
    EXPECT_EQ(FolderDeciding("C:\\A\\B\\C.DLL"), "C:\\A\\B");
    EXPECT_EQ(FolderDeciding("c:\\Program Files\\App\\"), "c:\\Program Files\\App");
    for (const char* path : {"C:\\B.EXE", "C:\\A\\..\\B.EXE", "C:\\A\\.\\B.EXE", "C:\\A.\\B.EXE",
                             "C:\\A \\B.EXE", "C:\\A\\B.EXE.", "C:A\\B.EXE", "C:\\A\\\\B.EXE", ""})
        EXPECT_EQ(FolderDeciding(path), "") << path;
    // What the WOW64 redirector may show another way is asked for file by file.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    char windows[MAX_PATH];
    ASSERT_GT(GetSystemWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string inSystem = std::string(windows) + "\\system32\\halvren-gone\\x.dll";
    EXPECT_EQ(FolderDeciding(inSystem).empty(), wow64 != FALSE) << inSystem;

    Touch(Base + "\\file.txt");
    EXPECT_TRUE(FolderMissing(Base + "\\gone"));
    EXPECT_TRUE(FolderMissing(Base + "\\gone\\deeper"));
    EXPECT_FALSE(FolderMissing(Base));
    EXPECT_FALSE(FolderMissing(Base + "\\file.txt"));  // a file: the path below it is asked for itself
}

TEST_F(Paths, CreateFolderTree)
{
    std::string tree = Base + "\\Data\\Quorvane\\Halvren\\RegBackups";
    for (std::string path : {tree, tree, tree + "\\", std::string("C:\\")})
        EXPECT_TRUE(CreateFolderTree(path)) << path;   // existing trees need nothing
    EXPECT_TRUE(PathIsDirectoryA(tree.c_str()));

    // A file in the way of a level stops the walk; missing drives, relative and drive-less
    // paths create nothing.
    Touch(Base + "\\Data\\Locked");
    DWORD drives = GetLogicalDrives();
    char free = 'Y';
    while (free > 'C' && (drives & (1u << (free - 'A'))))
        --free;
    ASSERT_GT(free, 'C');
    for (std::string path : {Base + "\\Data\\Locked\\New", std::string(1, free) + ":\\A",
                             std::string("HalvrenCoreRelative\\B"), std::string("\\halvren-test\\core-paths\\Rooted"),
                             std::string()}) {
        EXPECT_FALSE(CreateFolderTree(path)) << path;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << path;
    }
}
