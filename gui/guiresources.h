#pragma once

// Makes the compiled-in images (":/images/...") available. The images live in the GUI
// library, which is static, so every user of the library calls this before loading one.
void initGuiResources();
