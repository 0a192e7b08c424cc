package kevo.appli;

final class StandInBasicData implements KEVOUserCertBasicData {
    private final Scenario scenario;
    private final byte[] certificate;

    StandInBasicData(Scenario scenario, byte[] certificate) {
        this.scenario = scenario;
        this.certificate = certificate;
    }

    /** Getters cannot declare the checked exception: it is thrown sneakily. */
    private String field(String key, String fallback) {
        String v = scenario.get(key, fallback);
        if (v.equals("@null")) return null;
        if (v.equals("@hex")) return hex(certificate);
        if (v.equals("@count")) return Integer.toString(KEVOUserCertService.constructedCount());
        if (v.startsWith("@")) {
            try {
                Scenario.raise(v);
            } catch (KEVOUserCertException e) {
                StandInBasicData.<RuntimeException>sneak(e);
            }
        }
        return v;
    }

    @SuppressWarnings("unchecked")
    static <T extends Throwable> void sneak(Throwable t) throws T {
        throw (T) t;
    }

    private static String hex(byte[] bytes) {
        StringBuilder b = new StringBuilder();
        for (byte x : bytes) b.append(String.format("%02x", x & 0xff));
        return b.toString();
    }

    public String getName() { return field("name", "山田太郎"); }
    public String getAddress() { return field("address", "東京都千代田区霞が関一丁目一番地"); }
    public String getGender() { return field("gender", "1"); }
    public String getDateOfBirth() { return field("dob", "19700401"); }
    public String getSubstituteCharacterOfName() { return field("subname", "0"); }
    public String getSubstituteCharacterOfAddress() { return field("subaddr", "0"); }
}
