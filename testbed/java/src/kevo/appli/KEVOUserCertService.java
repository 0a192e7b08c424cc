package kevo.appli;

/** Stand-in of the service: every answer comes from the call's Scenario. */
public class KEVOUserCertService {
    private static int constructed = 0;

    private final byte[] certificate;
    private final Scenario scenario;

    public KEVOUserCertService(byte[] certificate) throws KEVOUserCertException {
        this.certificate = certificate.clone();
        this.scenario = new Scenario(this.certificate);
        scenario.act("ctor");
        constructed++;
    }

    static int constructedCount() {
        return constructed;
    }

    public KEVOUserCertBasicData getBasicData() throws KEVOUserCertException {
        Object how = scenario.act("basic");
        if (how == Scenario.NULL) return null;
        if (how == Scenario.WRONG) return new Impostor();
        return new StandInBasicData(scenario, certificate);
    }

    public KEVOUserCertCertStatus verifyCert() throws KEVOUserCertException {
        Object how = scenario.act("verify");
        if (how == Scenario.NULL) return null;
        if (how == Scenario.WRONG) return new Impostor();
        return new StandInCertStatus(scenario);
    }

    public KEVOConfirmResult confirm() throws KEVOUserCertException {
        Object how = scenario.act("confirm");
        if (how == Scenario.NULL) return null;
        if (how == Scenario.WRONG) return new Impostor();
        return new StandInConfirmResult(scenario);
    }
}
