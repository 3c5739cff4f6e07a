// User-interface texts by key from "lang.lg" beside the running program, and the
// language's skin folder.
//
// lang.lg is an initialisation file with one section per language, named by the
// Windows language identifier in four upper-case hex digits ("0409", "0404",
// "0804"). A lookup reads the section of LangId, then "0409", then keeps the
// English default; a key present with an empty value counts as absent.
#pragma once

#include <cstdint>
#include <string>

#include "langkeys.h"

// The language of the user-interface texts: 0 until SelectLanguage, then the
// system's default language identifier.
extern std::uint16_t LangId;
// The skin folder of that language: "tw", "cn" or "en".
extern char LangFolder[4];

// LangId := GetSystemDefaultLangID(); LangFolder from it. Done once, at the start
// of the main dialog's initialisation.
void SelectLanguage();

// Text for key in the current language into out (at least 256 bytes): the
// language's section, else "0409", else def. At most 255 characters. The file is
// read anew on every call.
void LangText(const char* key, const char* def, char* out);
inline void LangText(const LangKey& k, char* out) { LangText(k.key, k.english, out); }

// "tw" for 0x0404, "cn" for 0x0804, "en" for every other identifier.
const char* LangFolderFor(std::uint16_t langId);
// Section name of a language identifier: four upper-case hex digits.
std::string LangSection(std::uint16_t langId);

// The running program's folder: its path cut at the last backslash (which is
// dropped). False when the path holds no backslash.
bool ProgramFolder(std::string* folder);

// LangText("NOLOGO", "NO") equals "YES" without regard to case.
bool NoLogoSkin();

// <program folder>\[nologo\]<LangFolder>\<file>: the "nologo" tree only when
// fromNoLogoTree is set (an image that carries the logo, with NOLOGO on).
// Empty when the program's folder is unknown.
std::string SkinImagePath(const char* file, bool fromNoLogoTree);
