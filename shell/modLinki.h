#pragma once
// Opens the maker's web pages in the browser and the per-language documents beside the
// program, choosing the target by the stored interface language.
#include <string>

// The maker's web server: the pages below and the update list.
constexpr char WebHost[] = "www.quorvane.com";

// The host the web addresses use: WebHost, unless a test has pointed them elsewhere.
std::string MakerHost();
// "" brings back WebHost.
void SetMakerHostHook(const std::string& host);

// Hands a target to the shell; returns the shell's result (above 32 when it was accepted).
int OpenLink(const std::string& Target);
// Replaces the shell call behind OpenLink; nullptr brings back the real one.
using OpenLinkFn = int (*)(const std::string& Target);
void SetOpenLinkHook(OpenLinkFn open);

void OpenHomePage();
void OpenReadme();
void OpenUpdatePage();
void OpenLicense();
void OpenSupportPage();
void OpenForumPage();
void OpenContactPage();
