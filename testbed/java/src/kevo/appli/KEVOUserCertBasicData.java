package kevo.appli;

public interface KEVOUserCertBasicData {
    String getName();
    String getAddress();
    String getGender();
    String getDateOfBirth();
    String getSubstituteCharacterOfName();
    String getSubstituteCharacterOfAddress();
}
