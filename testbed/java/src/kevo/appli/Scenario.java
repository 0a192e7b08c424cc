package kevo.appli;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.HashMap;
import java.util.Map;

/**
 * What one call does, read from the certificate bytes as UTF-8 lines
 * "key=value". Actions of the constructor ("ctor") and the service methods
 * ("basic", "verify", "confirm"): absent or "ok", "null" (return null),
 * "wrong" (return an object of another class), "oom", "throw:N"
 * (KEVOUserCertException with code N), "runtime" (an Exception of another
 * kind), "error" (a Throwable that is no Exception), "block:DIR" (create
 * DIR/entered, then wait for DIR/release).
 * String getters (name, address, gender, dob, subname, subaddr): the text, or
 * "@null", "@throw:N", "@oom", "@hex" (the certificate bytes in hex),
 * "@count" (services constructed so far in this VM).
 * Int getters (certStatus, pathStatus, respStatus, code): a number or
 * "@throw:N".
 */
final class Scenario {
    static final Object OK = new Object();
    static final Object NULL = new Object();
    static final Object WRONG = new Object();

    private final Map<String, String> values = new HashMap<>();

    Scenario(byte[] certificate) {
        String text = new String(certificate, StandardCharsets.UTF_8);
        for (String line : text.split("\n")) {
            int eq = line.indexOf('=');
            if (eq > 0)
                values.put(line.substring(0, eq), line.substring(eq + 1));
        }
    }

    String get(String key, String fallback) {
        String v = values.get(key);
        return v == null ? fallback : v;
    }

    Object act(String key) throws KEVOUserCertException {
        String v = get(key, "ok");
        if (v.equals("ok")) return OK;
        if (v.equals("null")) return NULL;
        if (v.equals("wrong")) return WRONG;
        raise(v);
        if (v.startsWith("block:")) {
            block(v.substring(6));
            return OK;
        }
        return OK;
    }

    /** Throws what a "@..." or action value names; returns otherwise. */
    static void raise(String v) throws KEVOUserCertException {
        String s = v.startsWith("@") ? v.substring(1) : v;
        if (s.equals("oom")) throw new OutOfMemoryError("stand-in out of memory");
        if (s.startsWith("throw:")) throw new KEVOUserCertException(Integer.parseInt(s.substring(6)));
        if (s.equals("runtime")) throw new IllegalStateException("stand-in failure");
        if (s.equals("error")) throw new AssertionError("stand-in error");
    }

    private static void block(String dir) {
        try {
            new File(dir, "entered").createNewFile();
            File release = new File(dir, "release");
            long end = System.currentTimeMillis() + 60000;
            while (!release.exists() && System.currentTimeMillis() < end)
                Thread.sleep(5);
        } catch (IOException | InterruptedException e) {
            // The test times out on its own side.
        }
    }
}
