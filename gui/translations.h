#pragma once

class QCoreApplication;

// The Russian texts of Qt's own widgets (the standard buttons of message boxes, the file
// dialogs, the context menus of text fields), installed whatever the system's language is:
// the program speaks Russian only. The program's entry and the window tests call it once the
// application object exists.
class Translations {
public:
    // Loads "qtbase_ru" from Qt's translations folder and installs it in `app`; a second call
    // does nothing. False, with a line in the log, when the file is missing (the widgets then
    // keep their English texts).
    static bool install(QCoreApplication *app);
};
