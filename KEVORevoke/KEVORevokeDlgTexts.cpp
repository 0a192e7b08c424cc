// The wizard's words: error boxes, the verdict of the send step with its
// send time, and the birth-date rendering of screen 03. These operations
// need no window (showErrorDlg shows its box owned by the dialog when there
// is one), so they work on a dialog object that was never shown.
#include "KEVORevokeDlg.h"

#include <stdlib.h>
#include <string.h>

#include "RevokeTexts.h"
#include "TraceLog.h"

void CKEVORevokeDlg::showErrorDlg(int code)
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::showErrorDlg() start\n");
    std::string text;
    if (ErrorBoxText(code, text)) {
        CTextBuffer message;
        CTextBuffer caption;
        // A failed conversion leaves its part out; the box still appears.
        message.SetData(text.c_str());
        caption.SetData(kErrorBoxCaption);
        MessageBoxW(m_hWnd, message.m_lpData != NULL ? message.m_lpData : L"",
                    caption.m_lpData != NULL ? caption.m_lpData : L"", MB_OK | MB_ICONSTOP);
    }
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::showErrorDlg() end\n");
}

void CKEVORevokeDlg::doRevoke()
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::doRevoke() start\n");
    const int sent = m_HttpOBJ.revoke(&m_XmlOBJ.m_strXML, &m_HttpOBJ.m_SettingInfo, &m_strResponse);
    const RevokeVerdict& verdict = VerdictFor(sent);
    m_nRevokeResult = verdict.code;
    m_strResultMessage.SetData(verdict.text);
    if (m_nRevokeResult != 200) {
        TraceLog(TRACE_LEVEL_ERROR, "revoke:エラーが発生しました。(%d)(%s:%d)\n", m_nRevokeResult, TRACE_HERE);
        // The send time is the counter's clock just after the failed send.
        const int rc = m_HttpOBJ.getServerDate(&m_strServerDate, &m_HttpOBJ.m_SettingInfo);
        TraceLog(TRACE_LEVEL_FLOW, "getServerDate(%d)\n", rc);
        if (rc != 0) {
            TraceLog(TRACE_LEVEL_ERROR, "getServerDate:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        } else if (convServerDate(m_strServerDate.GetAnsi()) != 0) {
            TraceLog(TRACE_LEVEL_ERROR, "convServerDate:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        } else {
            m_strResultMessage.Append(m_szSendTime);
        }
    }
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::doRevoke() end\n");
}

int CKEVORevokeDlg::convServerDate(const char* date)
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::convServerDate start\n");
    int result = 0;
    switch (ServerDateToSendTime(date, m_szSendTime)) {
    case kSendTimeOk:
        break;
    case kSendTimeBadText:
        TraceLog(TRACE_LEVEL_ERROR, "string:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        result = -1;
        break;
    case kSendTimeMktime:
        TraceLog(TRACE_LEVEL_ERROR, "mktime:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        result = -1;
        break;
    case kSendTimeLocaltime:
        TraceLog(TRACE_LEVEL_ERROR, "localtime_s:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        result = -1;
        break;
    }
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::convServerDate end\n");
    return result;
}

int CKEVORevokeDlg::dateOfBirthToString(const char* code, char** out)
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::dateOfBirthToString() start\n");
    int result = 0;
    char rendering[kBirthDateSize];
    const char* text = NULL;  // what the caller receives a copy of
    bool zeroCode = false;
    if (code != NULL) {
        switch (RenderBirthDate(code, rendering)) {
        case kBirthDateOk:
            text = rendering;
            zeroCode = rendering[0] == '\0';
            break;
        case kBirthDateBadCode:
        case kBirthDateBadYear:
            TraceLog(TRACE_LEVEL_ERROR, "dateOfBirth:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
            result = -101;
            text = code;
            break;
        case kBirthDateBadMonth:
            TraceLog(TRACE_LEVEL_ERROR, "imonth:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
            result = -101;
            text = code;
            break;
        case kBirthDateBadDay:
            TraceLog(TRACE_LEVEL_ERROR, "iday:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
            result = -101;
            text = code;
            break;
        }
    }
    char* copy = strmalloc(text);
    if (copy == NULL) {
        // No code at all ends here too: there is nothing to copy.
        if (!zeroCode)
            TraceLog(TRACE_LEVEL_ERROR, "dateStr:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        result = -102;
    }
    if (out != NULL)
        *out = copy;
    else
        free(copy);
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::dateOfBirthToString() end\n");
    return result;
}

char* CKEVORevokeDlg::strmalloc(const char* text)
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::strmalloc() start\n");
    char* copy = NULL;
    if (text == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "string:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
    } else {
        const size_t size = strlen(text) + 1;
        copy = static_cast<char*>(malloc(size));
        if (copy == NULL)
            TraceLog(TRACE_LEVEL_ERROR, "ret:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        else
            memcpy(copy, text, size);
    }
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::strmalloc() end\n");
    return copy;
}
