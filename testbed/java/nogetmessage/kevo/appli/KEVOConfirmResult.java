package kevo.appli;

/** A result type that lacks getMessage. */
public interface KEVOConfirmResult {
    int getCode();
    Exception getException();
}
