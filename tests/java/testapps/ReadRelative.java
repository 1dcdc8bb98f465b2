package testapps;

import java.nio.file.Files;
import java.nio.file.Paths;

/** Prints user.dir and the text of the file its first argument names, as a command-line tool reads it. */
public final class ReadRelative {
    public static void main(String[] args) throws Exception {
        System.out.println("user.dir=" + System.getProperty("user.dir"));
        System.out.println("read:" + new String(Files.readAllBytes(Paths.get(args[0])), "UTF-8").trim());
    }
}
