#pragma once
// Procedures of the main module that the windows share.
#include <cstdint>
#include <string>
#include <vector>

#include "ui/Controls.h"

// Texts of the ANSI code page, character by character: under a multi-byte code page (Japanese,
// Chinese) the second byte of a character may be "\\" or "|".
// The number of bytes of the character that starts at text[at]: 2 for a lead byte followed by
// another byte, otherwise 1.
size_t AnsiCharBytes(const std::string& text, size_t at);
// The first occurrence of `what` in `text` that begins on a character at or after `from`;
// std::string::npos when there is none.
size_t FindAnsi(const std::string& text, const std::string& what, size_t from = 0);

// The upper-case file path on drive C: cut out of a registry data text.
std::string ExtractFilePath(const std::string& data);
// The same for data already upper-cased with UpperAnsi.
std::string ExtractFilePathUpper(std::string upper);
// The path cut out of `upperData` (UpperAnsi of `data`) in the letter case `data` writes it,
// when the data holds it as one piece; otherwise `upperPath` itself. The file system finds a
// name as written at once where it may have to search a folder for a name in another case.
std::string PathAsWritten(const std::string& data, const std::string& upperData, const std::string& upperPath);
// Fits every column of the list view to its contents, or only `column` when it is >= 0.
void AutoSizeColumns(ui::ListView& list, int column = -1);
// Removes every item equal, ignoring letter case, to an earlier one; keeps first occurrences.
// The settings dialog's list is deduplicated before it is shown: a list box read and filled
// again item by item costs seconds for a long list.
void RemoveDuplicateItems(std::vector<std::wstring>& items);

// Whether any of a list of entries occurs in a text, as FindAnsi finds one: byte for byte,
// starting on a character. Built once per list, a test then costs a few steps per byte of the
// text however many entries the list holds (a trie of the entries with Aho-Corasick links).
class AnsiMatcher {
public:
    // Entries that the ANSI code page cannot hold occur in no ANSI text and are left out; an
    // empty entry occurs in every text. False, leaving a test that finds nothing, when memory
    // ran out.
    bool Build(const std::vector<std::wstring>& entries);
    // Tests make the build run out of memory past this many nodes; 0 lifts the limit.
    static void SetNodeLimitHook(size_t nodes);
    bool Empty() const { return !matchesAll_ && nodes_.size() <= 1; }
    bool FoundIn(const std::string& text) const;

private:
    struct Node {
        int fail = 0;
        int output = -1;  // the nearest node on the fail chain, this one included, that ends an entry
        int length = 0;   // the length of the entry that ends here, 0 for none
        int firstEdge = 0, edges = 0;
    };
    int Next(int node, unsigned char byte) const;
    void BuildTrie(const std::vector<std::wstring>& entries);

    std::vector<Node> nodes_;
    std::vector<unsigned char> edgeBytes_;  // each node's edges, sorted by byte
    std::vector<int> edgeTargets_;
    int rootNext_[256] = {};
    bool matchesAll_ = false;
};
// The text with its characters in reverse order.
std::string ReverseString(const std::string& text);
// A setting text as a number: blanks around it, a sign, digits and a fraction; false for
// anything else (an empty text, "&H7", "7a").
bool ReadsAsNumber(const std::string& text, double& value);

// A checked row whose value a backup file cannot hold: the fix must leave that value alone.
struct BackupLeftOut {
    int row;  // counted from 0
    std::wstring reason;
    bool gone = false;  // the value no longer exists: there was nothing to keep
};
// How a listed value stands now, read again: still as its row shows it, deleted, holding
// other data, or not readable.
enum class ListedValue { AsListed, Gone, Changed, Unreadable };
// Reads the value (its type and bytes through the ANSI functions, `rc` the registry's answer)
// and compares its data with `shown`, the row's data column.
ListedValue ReadListedValue(HKEY root, const std::string& keyPath, const std::string& name,
                            const std::wstring& shown, DWORD& type, std::string& bytes, LONG& rc);
// The words for a value left alone because of its state.
std::wstring LeftOutReason(ListedValue state, LONG rc);
// A value as the wide registry functions give it. The fix deletes a value only while it still
// holds exactly what its backup holds: the ANSI functions show "?" and a snowman alike, and a row
// shows only the first string of a multi-string.
struct ExactValue {
    DWORD type = REG_NONE;
    std::string bytes;
    bool operator==(const ExactValue& other) const { return type == other.type && bytes == other.bytes; }
};
// The registry's answer; `value` holds the type and bytes when it is 0.
LONG ReadExactValue(HKEY root, const std::string& keyPath, const std::string& name, ExactValue& value);
// How the value of a row of the last backup stands now against what the backup holds: AsListed
// while it holds exactly that. A row the backup does not hold gives Unreadable.
ListedValue BackedUpValueNow(int row, LONG& rc);
// Writes the checked rows of the main window's error list into a new backup file, never over
// an existing one and never half-written under a backup's name. Returns false, leaving no file
// behind, when the file cannot be made or written; `path` is the backup file's full path and
// `error` says what failed. `saved` receives the rows written (their values may be deleted now),
// `leftOut` the checked rows that could not be written.
bool BackupCheckedEntries(std::string& path, std::wstring& error, std::vector<int>* saved = nullptr,
                          std::vector<BackupLeftOut>* leftOut = nullptr);
// Writes the last backup again holding only the values of `rows` (the rows the fix deleted), so
// that a restore puts back nothing the fix left in place. A failure keeps the first file whole.
bool KeepInLastBackup(const std::vector<int>& rows, std::wstring& error);
// Removes the last backup: a fix that deleted nothing leaves no backup behind.
bool DropLastBackup(std::wstring& error);

// The missing-file search's walk: adds every entry of `folder` and the folders below it whose
// name matches `pattern` (the find functions' wildcards) to the search window's list, counting
// matches in `files` and the subfolders met in `folders`, and returns the matches' total size in
// bytes. A missing final "\" is appended to `folder`. It ends early when the search window asks
// it to stop. Junctions, mount points and symbolic links are not entered.
uint64_t FindFilesRecursive(std::string& folder, const std::string& pattern, int64_t& files, int64_t& folders);
// Whether that walk enters the folder a find record lists (`path` is its full path): not a mount
// point, junction or symbolic link, which can lead off the drive or in a circle; a folder with
// another reparse point (a cloud file placeholder, for one) is walked like any other.
bool EntersFolder(const WIN32_FIND_DATAA& fd, const std::string& path);
// The part of `text` before its first NUL; `text` itself is cut the same way.
std::string TrimAtNull(std::string& text);
// Acts on a notification-area callback code carried in a mouse move's X (the main window's
// scale units): 515, a left double click, restores and shows the main window; 517, a right-button
// release, pops up its File menu at the pointer.
void TrayIconMouseMove(float x);
