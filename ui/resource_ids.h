// Resource identifiers shared by the window code and the resource scripts.
// Plain defines: this file is read by the resource compiler too.
#pragma once

#define BRUNVALD_RES_PICTURE       101  /* RCDATA: the window's PNG picture */
#define BRUNVALD_RES_BTN_INSTALL   102  /* BITMAP: "Installieren" */
#define BRUNVALD_RES_BTN_UNINSTALL 103  /* BITMAP: "Deinstallieren" */
#define BRUNVALD_RES_BTN_CLOSE     104  /* BITMAP: "Beenden" */
/* The icon group is named MAINICON; the title font is type "China", name "TTF". */
