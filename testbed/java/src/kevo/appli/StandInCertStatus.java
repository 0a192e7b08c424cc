package kevo.appli;

final class StandInCertStatus implements KEVOUserCertCertStatus {
    private final Scenario scenario;

    StandInCertStatus(Scenario scenario) {
        this.scenario = scenario;
    }

    static int number(Scenario scenario, String key, String fallback) {
        String v = scenario.get(key, fallback);
        if (v.startsWith("@")) {
            try {
                Scenario.raise(v);
            } catch (KEVOUserCertException e) {
                StandInBasicData.<RuntimeException>sneak(e);
            }
        }
        return Integer.parseInt(v);
    }

    public int getCertStatus() { return number(scenario, "certStatus", "0"); }
    public int getCertPathStatus() { return number(scenario, "pathStatus", "0"); }
    public int getResponseStatus() { return number(scenario, "respStatus", "0"); }
}
