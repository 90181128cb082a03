#pragma once

#include <QString>

namespace verimant {

class ImageList;
struct MainActions;

// "Источник данных": Internet (the update server) or Local (a folder laid out like it, asked for
// once with the folder chooser). Both are kept per user beside the interface language;
// VERIMANT_UPDATE_SOURCE selects a folder for a run without storing it. Sets the check marks and
// the menu's icon from the stored choice and stores every change of it. A run reads its files
// from where its start-up found the configuration: a change takes effect at the next start, so a
// configuration and the firmware it names never come from two places.
void bindDataSourceSetting(const MainActions& actions, const ImageList& images);

// The Local item's caption in the interface language, naming the stored folder when there is one.
void showDataSourceTexts(const MainActions& actions);

// The folder the next start-up reads from: VERIMANT_UPDATE_SOURCE, else the stored Local folder;
// empty for the update server.
QString chosenSourceFolder();

}  // namespace verimant
