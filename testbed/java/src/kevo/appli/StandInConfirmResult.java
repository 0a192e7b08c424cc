package kevo.appli;

final class StandInConfirmResult implements KEVOConfirmResult {
    private final Scenario scenario;

    StandInConfirmResult(Scenario scenario) {
        this.scenario = scenario;
    }

    public int getCode() { return StandInCertStatus.number(scenario, "code", "200"); }
    public Exception getException() { return null; }
    public String getMessage() { return "stand-in"; }
}
