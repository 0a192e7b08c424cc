// The connection settings record that the revocation tool's counter client
// and the version checker fill from the registry and the settings file.
#ifndef KEVO_SETTINGINFO_H
#define KEVO_SETTINGINFO_H

// Owners create the record zero-filled. After a successful setSettingInfo:
// proxy_type is 2 exactly when proxy_host is set, proxy_ID is set only with
// proxy_host, proxy_password only with proxy_ID. Every text is a narrow
// (code page 932) zero-terminated string owned by the record and released
// by the program's release function.
struct SettingInfo {
    int secure;            // 1 when the URL starts with "https://"
    int proxy_type;        // 2: proxy of the settings file; 0: system configuration
    char* proxy_host;
    int proxy_port;
    char* proxy_ID;
    char* proxy_password;
    char* cvsurl;          // the url value as read, or the default base URL
    char* hostname;        // host part of the URL
    int port;              // port of the URL (scheme default when none)
};

#endif
