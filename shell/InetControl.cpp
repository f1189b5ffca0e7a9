#include "shell/InetControl.h"

#include <wininet.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "core/App.h"

namespace {
DWORD g_timeoutMs = 0;
LONG g_lastNumber = 0;
}  // namespace

// Shared by the window and the worker, so that the worker never outlives what it writes to.
struct InetControl::Request {
    std::string url;
    HWND notify = nullptr;
    UINT message = 0;
    WPARAM number = 0;
    DWORD timeoutMs = DefaultTimeoutMs;

    std::mutex lock;  // the handles and `cancelled`
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET file = nullptr;
    bool cancelled = false;

    // Written by the worker before `done` is set, read by the window only after.
    std::string header, body;
    std::atomic<bool> done{false};

    // Keeps a handle the worker has just opened, unless the request was cancelled meanwhile.
    bool Keep(HINTERNET h, HINTERNET Request::*slot) {
        {
            std::lock_guard<std::mutex> g(lock);
            if (!cancelled) {
                this->*slot = h;
                return true;
            }
        }
        InternetCloseHandle(h);
        return false;
    }

    // Closes what is open, the request first; closing it from the window's thread ends a call
    // that blocks on the worker. Each handle is closed once, by whichever thread takes it.
    void CloseHandles() {
        HINTERNET open[3];
        {
            std::lock_guard<std::mutex> g(lock);
            open[0] = file;
            open[1] = connection;
            open[2] = session;
            file = connection = session = nullptr;
        }
        for (HINTERNET h : open)
            if (h) InternetCloseHandle(h);
    }

    bool Fetch() {
        char host[256] = {}, path[2048] = {}, extra[2048] = {};
        URL_COMPONENTSA parts = {};
        parts.dwStructSize = sizeof parts;
        parts.lpszHostName = host;
        parts.dwHostNameLength = sizeof host;
        parts.lpszUrlPath = path;
        parts.dwUrlPathLength = sizeof path;
        parts.lpszExtraInfo = extra;
        parts.dwExtraInfoLength = sizeof extra;
        if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTP) return false;
        HINTERNET s = InternetOpenA(AppTitle, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (!s || !Keep(s, &Request::session)) return false;
        HINTERNET c = InternetConnectA(s, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        if (!c || !Keep(c, &Request::connection)) return false;
        const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                            INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTH;
        HINTERNET f = HttpOpenRequestA(c, "GET", (std::string(path[0] ? path : "/") + extra).c_str(), nullptr, nullptr, nullptr, flags, 0);
        if (!f || !Keep(f, &Request::file)) return false;
        // On every handle: implementations differ in which one they read.
        for (HINTERNET h : {s, c, f})
            for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                                 INTERNET_OPTION_RECEIVE_TIMEOUT})
                InternetSetOptionA(h, option, &timeoutMs, sizeof timeoutMs);
        // Redirects are followed; only the final answer counts.
        if (!HttpSendRequestA(f, nullptr, 0, nullptr, 0)) return false;

        DWORD size = 0;
        HttpQueryInfoA(f, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
        std::string h(size, '\0');
        if (!HttpQueryInfoA(f, HTTP_QUERY_RAW_HEADERS_CRLF, &h[0], &size, nullptr)) return false;
        h.resize(size < h.size() ? size : h.size());

        std::string b;
        char chunk[8192];
        for (;;) {
            DWORD got = 0;
            // A read that fails after some pieces arrived fails the whole transfer.
            if (!InternetReadFile(f, chunk, sizeof chunk, &got)) return false;
            if (got == 0) break;
            b.append(chunk, got);
            if (b.size() > MaxBody) return false;
        }
        header.swap(h);
        body.swap(b);
        return true;
    }

    static void Run(std::shared_ptr<Request> r) {
        if (!r->Fetch()) {
            r->header.clear();
            r->body.clear();
        }
        r->CloseHandles();
        r->done = true;
        std::lock_guard<std::mutex> g(r->lock);
        if (!r->cancelled) PostMessageW(r->notify, r->message, r->number, 0);
    }
};

void InetControl::SetTimeoutHook(DWORD ms) { g_timeoutMs = ms; }

bool InetControl::Execute(const std::string& url, HWND notify, UINT message) {
    Cancel();
    auto r = std::make_shared<Request>();
    r->url = url;
    r->notify = notify;
    r->message = message;
    r->number = static_cast<WPARAM>(InterlockedIncrement(&g_lastNumber));
    r->timeoutMs = g_timeoutMs ? g_timeoutMs : DefaultTimeoutMs;
    try {
        std::thread(Request::Run, r).detach();
    } catch (...) {
        return false;
    }
    request_ = r;
    read_ = 0;
    return true;
}

bool InetControl::StillExecuting() const { return request_ && !request_->done; }

bool InetControl::IsCurrent(WPARAM request) const { return request_ && request_->number == request; }

std::string InetControl::GetHeader() const {
    return request_ && request_->done ? request_->header : std::string();
}

std::string InetControl::GetChunk(size_t maxBytes) {
    if (!request_ || !request_->done || read_ >= request_->body.size()) return std::string();
    std::string piece = request_->body.substr(read_, maxBytes);
    read_ += piece.size();
    return piece;
}

void InetControl::Cancel() {
    if (!request_) return;
    {
        std::lock_guard<std::mutex> g(request_->lock);
        request_->cancelled = true;
    }
    request_->CloseHandles();
    request_.reset();
    read_ = 0;
}
