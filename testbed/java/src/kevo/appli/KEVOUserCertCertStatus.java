package kevo.appli;

public interface KEVOUserCertCertStatus {
    int getCertStatus();
    int getCertPathStatus();
    int getResponseStatus();
}
