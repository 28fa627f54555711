// Where a serial component keeps its line settings: an ini file or a registry key.
#pragma once

#include "platform/Text.h"
#include "serial/SerClasses.h"

#include <cstdint>

namespace serial {

enum class TSettingsLocation : uint8_t { slINIFile, slRegistry };
enum class TRegRootKey : uint8_t { rrCURRENTUSER, rrLOCALMACHINE };

class TSettingsStore : public TSerPersistent {
public:
    // Copies Key, Location, RegRoot and Section from another store; any other source changes nothing.
    void Assign(const TSerPersistent& Source) override;
    std::string ClassName() const override { return "TSettingsStore"; }

    // Ini mode: the file name; registry mode: the key path.
    const platform::Text& Key() const { return FKey; }
    TSettingsLocation Location() const { return FLocation; }
    TRegRootKey RegRoot() const { return FRegRoot; }
    // Ini section, or registry subkey below Key, that holds the values.
    const platform::Text& Section() const { return FSection; }

    void SetKey(const platform::Text& Value) { FKey = Value; }
    void SetLocation(TSettingsLocation Value) { FLocation = Value; }
    void SetRegRoot(TRegRootKey Value) { FRegRoot = Value; }
    void SetSection(const platform::Text& Value) { FSection = Value; }

private:
    platform::Text FKey;
    TSettingsLocation FLocation = TSettingsLocation::slINIFile;
    TRegRootKey FRegRoot = TRegRootKey::rrCURRENTUSER;
    platform::Text FSection;
};

} // namespace serial
