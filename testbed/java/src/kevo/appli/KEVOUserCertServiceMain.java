package kevo.appli;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Paths;

/** Stand-in viewer: reads the certificate file, writes result code 0. */
public class KEVOUserCertServiceMain {
    public static void main(String[] args) throws IOException {
        if (args.length != 2) System.exit(2);
        Files.readAllBytes(Paths.get(args[0]));
        Files.write(Paths.get(args[1]), new byte[] {0, 0, 0, 0});
    }
}
