#pragma once
// The Internet Transfer control over WinINet: one HTTP GET at a time. The transfer runs on a
// worker thread, so the windows stay live while it waits, and its end is posted back to the
// window that started it; the window reads the answer on its own thread.
#include <windows.h>

#include <memory>
#include <string>

class InetControl {
public:
    // The update list is one short line: a longer answer is a failed transfer, not a reason
    // to hold whatever a broken server sends.
    static constexpr size_t MaxBody = 64 * 1024;
    // Connect, send and receive: a server that accepts and never answers fails the transfer.
    static constexpr DWORD DefaultTimeoutMs = 15000;

    InetControl() = default;
    ~InetControl() { Cancel(); }
    InetControl(const InetControl&) = delete;
    InetControl& operator=(const InetControl&) = delete;

    // Starts a GET of `url`; when it ends, `message` is posted to `notify` with the request's
    // number in wParam. A request under way is cancelled first. False when it cannot start.
    bool Execute(const std::string& url, HWND notify, UINT message);
    bool StillExecuting() const;
    // Whether a posted end belongs to the current request rather than to a cancelled one.
    bool IsCurrent(WPARAM request) const;
    // The ended request's response headers, the status line first and every line ended by
    // CR LF; empty when the transfer failed.
    std::string GetHeader() const;
    // The next piece of the ended request's body, at most maxBytes; empty at the end.
    std::string GetChunk(size_t maxBytes);
    // Ends the transfer at once: its handles are closed and its end is never posted.
    void Cancel();

    // The timeouts of the requests started from now on; 0 brings back DefaultTimeoutMs.
    static void SetTimeoutHook(DWORD ms);

private:
    struct Request;
    std::shared_ptr<Request> request_;
    size_t read_ = 0;
};
