package kevo.appli;

/** Run-time form: an object of none of the result types. */
public class Impostor {
    public String getName() { return "impostor"; }
}
