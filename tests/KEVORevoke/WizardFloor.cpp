// wizard_floor: the work of one revocation without a window, as a floor for
// the wizard's timing: the card step, the request with its signature and the
// send, run on a dialog object that is never shown. Needs what the wizard
// needs (InstallPath, the service library's VM, the card, the counter).
// Prints the time of each step; exit 0 when the counter accepted.
#include <windows.h>

#include <cstdio>

#include "KEVORevokeDlg.h"
#include "RevokeTexts.h"
#include "TraceLog.h"

namespace {
double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(to.QuadPart - from.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}
}  // namespace

int main()
{
    FixJapanLocaleAndZone();
    TraceInitLock();
    CKEVORevokeDlg dlg;
    LARGE_INTEGER t0, t1, t2, t3;
    QueryPerformanceCounter(&t0);
    int card = dlg.getInfoFromCard();
    QueryPerformanceCounter(&t1);
    int sign = card == 0 ? dlg.makeXML() : -1;
    QueryPerformanceCounter(&t2);
    if (sign == 0)
        dlg.doRevoke();
    QueryPerformanceCounter(&t3);
    printf("floor card %.1f ms (%d)\n", Milliseconds(t0, t1), card);
    printf("floor sign %.1f ms (%d)\n", Milliseconds(t1, t2), sign);
    printf("floor send %.1f ms (%d)\n", Milliseconds(t2, t3), sign == 0 ? dlg.m_nRevokeResult : -1);
    printf("floor steps %.1f ms\n", Milliseconds(t0, t3));
    return (card == 0 && sign == 0 && dlg.m_nRevokeResult == 200) ? 0 : 1;
}
