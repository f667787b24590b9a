// Resource identifiers of the reader: the program's own few texts and everything
// a language module (lang/<language>.dll) carries. Included by C++ and by the
// resource scripts, so only preprocessor definitions belong here.
#pragma once

// ---- The program's own string table: the texts shown while no module is loaded.
#define IDS_OLE_INIT_FAILED 100  // OLE could not be initialised
#define IDS_LANGERR_TEXT_POLISH 130
#define IDS_LANGERR_TEXT_ENGLISH 131
#define IDS_LANGERR_TEXT_ROMANIAN 132
#define IDS_LANGERR_CAPTION_POLISH 133
#define IDS_LANGERR_CAPTION_ENGLISH 134
#define IDS_LANGERR_CAPTION_ROMANIAN 135

// ---- Language module: dialogs and icon.
#define IDD_ORVELPARLONVESK_DIALOG 582  // main dialog
#define IDD_USE_HINT 736                // usage-hint popup
#define IDR_MAINFRAME 101               // main window and dialog icon

// ---- Language module: controls of the main dialog.
#define IDC_VOLUME_SLIDER 1000
#define IDC_SPEED_SLIDER 1001
#define IDC_CLOSE_BUTTON 1027
#define IDC_MINIMIZE_BUTTON 1029
#define IDC_FOLD_BUTTON 1030
#define IDC_VOICE_COMBO 1177
#define IDC_READ_BUTTON 1204
#define IDC_STOP_BUTTON 1205
#define IDC_LEXICON_BUTTON 1214
#define IDC_LANGUAGE_BUTTON 1216
#define IDC_SITE_LINK 1221  // bound by the dialog, never shown
#define IDC_VOICE_LINK 1222
#define IDC_VOICE_TYPE_ICON 1223
#define IDC_LAUNCH_BUTTON 1226

// ---- Language module: items of the usage hint.
#define IDC_HINT_CLOSE_LINK 1224
#define IDC_HINT_TEXT 1225
#define IDC_HINT_ACTION 1227  // optional; no module uses it today

// ---- Language module: skin images, resource type "PNG".
#define IDB_SKIN_RIGHT 607
#define IDB_SKIN_BUTTONS 608
#define IDB_SKIN_SEPARATOR 609
#define IDB_SKIN_LEFT 611
#define IDB_SKIN_MIDDLE 612
#define IDB_SKIN_VOLUME 613
#define IDB_SKIN_SLIDER 616
#define IDB_SKIN_SPEED 617
#define IDB_READ_BUSY 618
#define IDB_VOICE_TYPES_1ST 721
#define IDB_VOICE_TYPES 738

// ---- Language module: strings.
#define IDS_VOICE_ERROR_CAPTION 259  // "Orvel Murmelin - %s"
#define IDS_VOICE_NOT_FOUND 299      // engine has no token at the index
#define IDS_EDITION_MAKER 308        // first half of "%s (%s)" editions
#define IDS_VOICE_TIP_SAPI5 319      // token id, name, vendor, edition
#define IDS_VOICE_TIP_SAPI4 320
#define IDS_READ 325   // read button text while idle
#define IDS_PAUSE 327  // read button text while speaking
#define IDS_VOLUME_TIP 331
#define IDS_SPEED_TIP 337
#define IDS_VOICE_LIST_TIP 338
#define IDS_SPEAK_FAILED 514
#define IDS_UI_LANGUAGE_CODE 538  // "l=" and "set_lang=" of web addresses
#define IDS_LEXICON_TIP 617
#define IDS_READ_TIP 618
#define IDS_LABEL_OTHER 626
#define IDS_LABEL_TYPE2 627
#define IDS_LABEL_TYPE3 631
#define IDS_EDITION_TYPE4 633
#define IDS_EDITION_TYPE2 634
#define IDS_EDITION_OTHER 635
#define IDS_LABEL_TYPE4_LIST 640
#define IDS_EDITION_TYPE3 641
#define IDS_LABEL_TYPE4_ICON 657
