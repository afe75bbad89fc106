// Deciding the language of the shown texts from the settings files of the game folder.
#pragma once

// Decides once per run; later calls do nothing.
void decide_language(const char* game_folder);
