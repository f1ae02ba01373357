; The installer's own texts in its two languages. The pages' standard texts
; come with NSIS's Modern UI; these are the ones it does not have.

LangString WelcomeText ${LANG_ENGLISH} "Setup will install Snapwell ${VERSION} on this computer for all its users.$\r$\n$\r$\nA Snapwell that is running is closed for the installation. Your options and settings stay as they are.$\r$\n$\r$\nClick Next to continue."
LangString WelcomeText ${LANG_GERMAN} "Snapwell ${VERSION} wird für alle Benutzer dieses Computers installiert.$\r$\n$\r$\nEin laufendes Snapwell wird für die Installation beendet. Ihre Optionen und Einstellungen bleiben erhalten.$\r$\n$\r$\nKlicken Sie auf „Weiter“, um fortzufahren."

LangString StartSnapwellNow ${LANG_ENGLISH} "&Start Snapwell now"
LangString StartSnapwellNow ${LANG_GERMAN} "Snapwell jetzt &starten"

LangString ClosingSnapwell ${LANG_ENGLISH} "Closing the running Snapwell..."
LangString ClosingSnapwell ${LANG_GERMAN} "Das laufende Snapwell wird beendet..."

LangString SnapwellStillRunning ${LANG_ENGLISH} "Snapwell is still running. Please end it (close its set-up questions, or right-click the camera icon in the notification area and choose Exit), then click Retry."
LangString SnapwellStillRunning ${LANG_GERMAN} "Snapwell läuft noch. Bitte beenden Sie es (schließen Sie seine Einrichtungsfragen, oder klicken Sie mit der rechten Maustaste auf das Kamerasymbol im Infobereich und wählen Sie „Beenden“) und klicken Sie danach auf „Wiederholen“."

LangString SetupAlreadyRunning ${LANG_ENGLISH} "Snapwell Setup is already running."
LangString SetupAlreadyRunning ${LANG_GERMAN} "Das Setup von Snapwell läuft bereits."

LangString RegisteringServer ${LANG_ENGLISH} "Registering the automation server..."
LangString RegisteringServer ${LANG_GERMAN} "Der Automatisierungsserver wird registriert..."

LangString RegisterFailed ${LANG_ENGLISH} "Snapwell's automation server could not be registered. Snapwell itself works, but scripts and snapctl reach it only after Snapwell.exe /Regserver has been run once."
LangString RegisterFailed ${LANG_GERMAN} "Der Automatisierungsserver von Snapwell konnte nicht registriert werden. Snapwell selbst funktioniert, doch Skripte und snapctl erreichen es erst, nachdem Snapwell.exe /Regserver einmal ausgeführt wurde."

LangString UnregisteringServer ${LANG_ENGLISH} "Removing the automation server's registration..."
LangString UnregisteringServer ${LANG_GERMAN} "Die Registrierung des Automatisierungsservers wird entfernt..."

LangString ShortcutDescription ${LANG_ENGLISH} "Captures the screen, a window or a rectangle"
LangString ShortcutDescription ${LANG_GERMAN} "Nimmt den Bildschirm, ein Fenster oder einen Bereich auf"

LangString UninstallTitle ${LANG_ENGLISH} "Uninstall Snapwell"
LangString UninstallTitle ${LANG_GERMAN} "Snapwell deinstallieren"

LangString UninstallSubtitle ${LANG_ENGLISH} "Remove Snapwell from this computer."
LangString UninstallSubtitle ${LANG_GERMAN} "Snapwell von diesem Computer entfernen."

LangString UninstallFolderText ${LANG_ENGLISH} "Snapwell will be removed from the following folder. Click Uninstall to continue."
LangString UninstallFolderText ${LANG_GERMAN} "Snapwell wird aus dem folgenden Ordner entfernt. Klicken Sie auf „Deinstallieren“, um fortzufahren."

LangString RemoveSettingsText ${LANG_ENGLISH} "&Also remove my settings and options"
LangString RemoveSettingsText ${LANG_GERMAN} "&Auch meine Einstellungen und Optionen entfernen"

LangString SettingsFolderText ${LANG_ENGLISH} "Left unticked, your settings stay in this folder for a later installation:"
LangString SettingsFolderText ${LANG_GERMAN} "Ohne Häkchen bleiben Ihre Einstellungen für eine spätere Installation in diesem Ordner:"
