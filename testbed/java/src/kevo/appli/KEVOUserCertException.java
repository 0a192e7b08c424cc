package kevo.appli;

/** The service's error report: an error code chosen by the test. */
public class KEVOUserCertException extends Exception {
    private final int errorCode;

    public KEVOUserCertException(int errorCode) {
        super("KEVOUserCertException " + errorCode);
        this.errorCode = errorCode;
    }

    public int getErrorCode() {
        return errorCode;
    }
}
