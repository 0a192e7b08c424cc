package kevo.appli;

/** Compile-time form: lets the service return it as any result type. The
    run-time form (impostor/) implements none of them. */
public class Impostor implements KEVOUserCertBasicData, KEVOUserCertCertStatus, KEVOConfirmResult {
    public String getName() { return "impostor"; }
    public String getAddress() { return "impostor"; }
    public String getGender() { return "impostor"; }
    public String getDateOfBirth() { return "impostor"; }
    public String getSubstituteCharacterOfName() { return "impostor"; }
    public String getSubstituteCharacterOfAddress() { return "impostor"; }
    public int getCertStatus() { return 1; }
    public int getCertPathStatus() { return 1; }
    public int getResponseStatus() { return 1; }
    public int getCode() { return 1; }
    public Exception getException() { return null; }
    public String getMessage() { return "impostor"; }
}
