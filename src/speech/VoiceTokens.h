#pragma once
// Registration of the two voices that come with the program, for the time it runs. Only Windows
// 2000/XP kept speech voices in a registry the program had to fill; the main window calls these
// only on operating-system major version 5.

namespace quorvel::speech {

void RegisterMikeToken();
void RegisterMaryToken();
void RemoveMaryToken();
void RemoveMikeToken();

} // namespace quorvel::speech
