// Application object of the reader/writer setting tool.
#ifndef KEVO_KEVORWSETTING_H
#define KEVO_KEVORWSETTING_H

#include "KevoApp.h"

class CKEVOUtilityApp : public kevoui::CKevoApp {
public:
    CKEVOUtilityApp();

protected:
    // Single-instance guard, then the dialog; the program always ends after it.
    bool InitInstance() override;
};

extern CKEVOUtilityApp theApp;

#endif
