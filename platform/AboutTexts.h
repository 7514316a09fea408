#pragma once

// The about box's texts, the same in the window and in the browser.
namespace platform::about {

inline constexpr const char* Name = "Morvelplint";
inline constexpr const char* Copyright = "Copyright \u00a9 2009 Werkgroep Morvelplint";
inline constexpr const char* DisclaimerA =
    "Dit programma test de kaarten van het ZELM systeem in het interfacerek. Het wordt "
    "geleverd zoals het is, zonder enige garantie dat het voor een bepaald doel geschikt is.";
inline constexpr const char* DisclaimerB =
    "Het is buiten verantwoordelijkheid van de ZELM ontwikkeld; het gebruik ervan is "
    "voor eigen risico.";
inline constexpr const char* Author1 = "Programma: Werkgroep Morvelplint";
inline constexpr const char* Author2 = "Kaarten en testrek: ZELM-gebruikersgroep";

} // namespace platform::about
