package testapps;

import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;

/**
 * Prints what the launcher handed over as code points, so that no console encoding can hide a wrong
 * character: each argument, user.dir, the thread's name, and the text of each class-path resource named in the property
 * "resources" (names separated by commas).
 */
public final class CodePoints {
    private static String codePoints(String text) {
        StringBuilder out = new StringBuilder();
        text.codePoints().forEach(c -> out.append(out.length() == 0 ? "" : " ").append(String.format("U+%04X", c)));
        return out.toString();
    }

    public static void main(String[] args) throws IOException {
        for (String arg : args) {
            System.out.println("arg:" + codePoints(arg));
        }
        System.out.println("user.dir:" + codePoints(System.getProperty("user.dir")));
        System.out.println("thread:" + Thread.currentThread().getName());
        String resources = System.getProperty("resources", "");
        for (String name : resources.isEmpty() ? new String[0] : resources.split(",")) {
            try (InputStream in = ClassLoader.getSystemResourceAsStream(name)) {
                String found = in == null ? "(missing)" : new String(in.readAllBytes(), StandardCharsets.UTF_8).trim();
                System.out.println("resource:" + name + ":" + codePoints(found));
            }
        }
    }
}
