// TEMPORARY: stands in for the card step and the dialog's text operations
// until their real modules are in this branch; delete it then.
#include <cstdlib>
#include <cstring>

#include "KEVORevokeDlg.h"
#include "RevokeTexts.h"

int CREVOKE_Card::GetCardData(KEVOBinaryData* binaryData)
{
    (void)binaryData;
    return -101;
}

void CKEVORevokeDlg::doRevoke()
{
    m_nRevokeResult = m_HttpOBJ.revoke(&m_XmlOBJ, &m_HttpOBJ.m_SettingInfo, &m_strResponse);
    const RevokeVerdict& verdict = VerdictFor(m_nRevokeResult);
    m_nRevokeResult = verdict.code;
    m_strResultMessage.SetData(verdict.text);
}

void CKEVORevokeDlg::showErrorDlg(int code)
{
    const char* message = ErrorMessageFor(code);
    if (message != NULL)
        MessageBoxA(m_hWnd, message, kErrorBoxCaption, MB_OK | MB_ICONSTOP);
}

int CKEVORevokeDlg::convServerDate(const char* date)
{
    return ServerDateToSendTime(date, m_szSendTime) == kSendTimeOk ? 0 : -1;
}

char* CKEVORevokeDlg::strmalloc(const char* text)
{
    if (text == NULL)
        return NULL;
    char* copy = static_cast<char*>(malloc(strlen(text) + 1));
    if (copy != NULL)
        strcpy(copy, text);
    return copy;
}

int CKEVORevokeDlg::dateOfBirthToString(const char* code, char** out)
{
    char rendered[kBirthDateSize];
    bool ok = RenderBirthDate(code, rendered) == kBirthDateOk;
    *out = strmalloc(ok ? rendered : code);
    if (*out == NULL)
        return -102;
    return ok ? 0 : -101;
}
