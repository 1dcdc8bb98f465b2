package sample;

public class Main {
    public static void main(String[] args) {
        System.out.println("sample " + String.join(" ", args));
    }
}
