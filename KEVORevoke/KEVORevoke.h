// Application object of the revocation wizard.
#ifndef KEVO_KEVOREVOKE_H
#define KEVO_KEVOREVOKE_H

#include "KevoApp.h"

class CKEVORevokeApp : public kevoui::CKevoApp {
public:
    CKEVORevokeApp();

protected:
    // Common controls, Japan's locale and time zone, the trace log's lock,
    // then the wizard; the program ends with the dialog.
    bool InitInstance() override;
};

extern CKEVORevokeApp theApp;

#endif
