package testapps;

import java.io.FileOutputStream;
import java.nio.file.Files;
import java.nio.file.Paths;

/**
 * Asks its launcher for a restart: appends its arguments to the log file its first argument names
 * (a Unix path: the JVM behind the test bridge is a Linux one), then ends with System.exit(status)
 * while the log holds fewer runs than the second argument asks for; after that it logs "ended" and returns.
 */
public final class Restart {
    public static void main(String[] args) throws Exception {
        int runs = Files.exists(Paths.get(args[0])) ? Files.readAllLines(Paths.get(args[0])).size() : 0;
        try (FileOutputStream log = new FileOutputStream(args[0], true)) {
            log.write(("run " + String.join("|", args) + "\n").getBytes("UTF-8"));
        }
        if (runs < Integer.parseInt(args[1])) {
            System.exit(Integer.parseInt(args[2]));
        }
        try (FileOutputStream log = new FileOutputStream(args[0], true)) {
            log.write("ended\n".getBytes("UTF-8"));
        }
    }
}
