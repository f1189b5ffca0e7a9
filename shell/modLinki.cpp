#include "shell/modLinki.h"

#include <windows.h>
#include <shellapi.h>

#include "core/App.h"
#include "core/modRegistry2.h"

namespace {

std::string g_host;

int ShellOpen(const std::string& Target) {
    HINSTANCE h = ShellExecuteA(nullptr, nullptr, Target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return static_cast<int>(reinterpret_cast<INT_PTR>(h));
}

OpenLinkFn g_open = ShellOpen;

enum class Kind { Web, Document };

// One target for each of the three interface languages. The setting is read afresh for each
// language, so a language chosen in the settings dialog applies at once; any other value,
// other letter case included, opens nothing.
void OpenFor(Kind kind, const char* english, const char* polish, const char* deutsch) {
    static const char* const kLanguages[] = {"English", "Polish", "Deutsch"};
    const char* const targets[] = {english, polish, deutsch};
    for (int i = 0; i < 3; ++i) {
        if (GetSetting("curLang").str() != kLanguages[i]) continue;
        // The shell's error passes silently: nothing is reported for a missing document.
        OpenLink(kind == Kind::Web ? "http://" + MakerHost() + targets[i] : ProgramFolder() + targets[i]);
    }
}

}  // namespace

std::string MakerHost() { return g_host.empty() ? std::string(WebHost) : g_host; }

void SetMakerHostHook(const std::string& host) { g_host = host; }

int OpenLink(const std::string& Target) { return g_open(Target); }

void SetOpenLinkHook(OpenLinkFn open) { g_open = open ? open : ShellOpen; }

void OpenHomePage() { OpenFor(Kind::Web, "/en", "/pl", "/de"); }

void OpenReadme() {
    OpenFor(Kind::Document, "\\languages\\english\\readme.txt", "\\languages\\polish\\readme.txt",
            "\\languages\\deutsch\\readme.txt");
}

void OpenUpdatePage() {
    OpenFor(Kind::Web, "/en/products/sarnoth/update.html", "/pl/produkty/sarnoth/update.html",
            "/de/products/sarnoth/update.html");
}

void OpenLicense() {
    OpenFor(Kind::Document, "\\languages\\english\\license.txt", "\\languages\\polish\\license.txt",
            "\\languages\\deutsch\\license.txt");
}

void OpenSupportPage() { OpenFor(Kind::Web, "/en/support.html", "/pl/wsparcie.html", "/de/support.html"); }

void OpenForumPage() { OpenFor(Kind::Web, "/forum", "/forum", "/forum"); }

void OpenContactPage() { OpenFor(Kind::Web, "/en/contact.html", "/pl/kontakt.html", "/de/contact.html"); }
