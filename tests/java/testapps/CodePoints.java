package testapps;

import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;

/**
 * Prints what the launcher handed over as code points, so that no console encoding can hide a wrong
 * character: each argument, user.dir, and the text of the class-path resource named by the property
 * "resource" when there is one.
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
        String resource = System.getProperty("resource");
        if (resource != null) {
            try (InputStream in = ClassLoader.getSystemResourceAsStream(resource)) {
                String found = in == null ? "(missing)" : new String(in.readAllBytes(), StandardCharsets.UTF_8).trim();
                System.out.println("resource:" + found);
            }
        }
    }
}
