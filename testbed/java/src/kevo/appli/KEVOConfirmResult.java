package kevo.appli;

public interface KEVOConfirmResult {
    int getCode();
    Exception getException();
    String getMessage();
}
